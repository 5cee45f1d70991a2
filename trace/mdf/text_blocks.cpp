#include "text_blocks.hpp"

namespace MDF {

TextBlock::TextBlock(blockType_t type, std::string_view letters, std::string_view text)
    : SectionBlock(type, letters, 0), text_(text) {
  Data_Length_Set(static_cast<uint32_t>(((text_.size() + 1) & ~size_t{7}) + 8));
}

void TextBlock::Data_Put(ByteWriter& data) const { data.Chars(text_).Zeros(Data_Length() - text_.size()); }

std::unique_ptr<Block> Text_Make(std::string_view text) {
  return text.empty() ? nullptr : std::make_unique<TXBLOCK>(text);
}

std::unique_ptr<Block> Comment_Make(std::string_view xml) {
  return xml.empty() ? nullptr : std::make_unique<MDBLOCK>(xml);
}

std::string Xml_Escape(std::string_view text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': escaped += "&amp;"; break;
      case '<': escaped += "&lt;"; break;
      case '>': escaped += "&gt;"; break;
      case '"': escaped += "&quot;"; break;
      case '\'': escaped += "&apos;"; break;
      default: escaped += c;
    }
  }
  return escaped;
}

}  // namespace MDF
