// Text (TX) and XML comment (MD) blocks: the text and at least one zero byte, padded to a multiple of 8.
#pragma once

#include <memory>
#include <string>

#include "block.hpp"

namespace MDF {

class TextBlock : public SectionBlock {
 public:
  TextBlock(blockType_t type, std::string_view letters, std::string_view text);
  const std::string& Text() const { return text_; }

 protected:
  void Data_Put(ByteWriter& data) const override;

 private:
  std::string text_;
};

class TXBLOCK : public TextBlock {
 public:
  explicit TXBLOCK(std::string_view text) : TextBlock(TX, "TX", text) {}
};

class MDBLOCK : public TextBlock {
 public:
  explicit MDBLOCK(std::string_view text) : TextBlock(MD, "MD", text) {}
};

// A TX block for a name, or none for an empty name.
std::unique_ptr<Block> Text_Make(std::string_view text);
// An MD block for a comment, or none for an empty comment.
std::unique_ptr<Block> Comment_Make(std::string_view xml);
// The text with & < > " ' written as XML entities, for values placed inside an XML comment.
std::string Xml_Escape(std::string_view text);

}  // namespace MDF
