#include "nm_commands.hpp"

namespace qor::can {
namespace {

constexpr uint8_t kNodeOperationCommand = 0x40;
constexpr uint8_t kSubFunctionKey = 1;
constexpr uint32_t kNodeAnswerLength = 12;
constexpr uint8_t kHighestGroup = 1;

}  // namespace

uint32_t nmNodeOperation(const kit::Call& call, const kit::RecordWriter& record, std::vector<uint8_t>& answer) {
  return call.exchange(kNodeOperationCommand, kSubFunctionKey, record, answer, kNodeAnswerLength);
}

uint32_t nmNodeOperation(const kit::Call& call, const kit::RecordWriter& record) {
  std::vector<uint8_t> answer;
  return nmNodeOperation(call, record, answer);
}

uint32_t checkNmGroup(const kit::Call& call, uint8_t group) {
  return group > kHighestGroup ? call.fail(kCan.code(kInvalidGroupNumber), "%u", group) : 0;
}

}  // namespace qor::can
