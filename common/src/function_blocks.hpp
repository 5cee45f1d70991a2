// The firmware's function blocks (command 0xCB): the answer decoding, apart from the port.
#pragma once

#include <optional>

#include "qor_common_events.h"
#include "qor_kit/answer_reader.hpp"

namespace qor::common {

// The last-error answer {sub, three words, u16 a, u16 b, text from 20}: empty when it ends before the text. The text
// copied is bounded by a + b, by the record and by the bytes that arrived; the rest of the record's text is 0.
std::optional<Qor_Common_Fbp_Fb_LastError_t> decodeLastError(const kit::AnswerReader& answer);

}  // namespace qor::common
