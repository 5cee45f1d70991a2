// Documents and nodes: loading, walking, changing and saving.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <functional>
#include <string>

#include "qor_test/files.hpp"
#include "xml_test_support.hpp"

namespace {

using namespace qor::xml::test;
using qor::test::readFile;
using qor::test::writeFile;

TEST(XmlDocument, CreateConfigFileStartsAnEmptyConfigurationAndKeepsAFileThatExists) {
  TempDirectory directory;
  const std::string path = directory.file("interfaces.xml");
  {
    Document missing;
    EXPECT_EQ(Qor_Xml_Document_LoadFile(path.c_str(), &missing.document), QOR_XML_ERR_FILE);
    EXPECT_EQ(missing.document.data, nullptr);
  }
  {
    Document created;
    ASSERT_EQ(Qor_Xml_InterfaceConfig_CreateConfigFile(path.c_str(), &created.document), 0u);
    Qor_Xml_Node_t interfaces = Qor_Xml_Node_Alloc();
    EXPECT_TRUE(Qor_Xml_Node_GetChildByName(created.document.node, QOR_XML_INTERFACES, &interfaces));
    EXPECT_TRUE(Qor_Xml_Node_GetChildByName(interfaces, QOR_XML_CONFIGURATION, nullptr));
  }
  EXPECT_EQ(readFile(path), "<?xml version=\"1.0\"?>\n<Interfaces>\n  <Configuration>\n    <Name />\n"
                            "  </Configuration>\n</Interfaces>\n");

  // Created by someone else meanwhile: that file is the one loaded.
  ASSERT_TRUE(writeFile(path, "<Interfaces><Configuration><Name>lab</Name></Configuration></Interfaces>"));
  {
    Document existing;
    ASSERT_EQ(Qor_Xml_InterfaceConfig_CreateConfigFile(path.c_str(), &existing.document), 0u);
  }
  char name[8];
  EXPECT_EQ(Qor_Xml_InterfaceConfig_ConfigurationName_Get(path.c_str(), sizeof name, name), 0u);
  EXPECT_STREQ(name, "lab");
}

TEST(XmlDocument, WalkChangeAndSave) {
  TempDirectory directory;
  const std::string path = directory.file("doc.xml");
  ASSERT_TRUE(writeFile(path, "<Interfaces><Configuration/><Interface id=\"a\"><V>1</V></Interface><Other/>"
                              "<Interface id=\"b\"><V>2</V></Interface></Interfaces>"));
  Document file;
  ASSERT_EQ(Qor_Xml_Document_LoadFile(path.c_str(), &file.document), 0u);
  Qor_Xml_Node_t interfaces = Qor_Xml_Node_Alloc(), configuration = Qor_Xml_Node_Alloc();
  Qor_Xml_Node_t a = Qor_Xml_Node_Alloc(), b = Qor_Xml_Node_Alloc(), none = Qor_Xml_Node_Alloc();
  ASSERT_TRUE(Qor_Xml_Node_GetChildByName(file.document.node, "Interfaces", &interfaces));
  EXPECT_EQ(Qor_Xml_Node_GetNumberOfChildNodes(interfaces, "Interface"), 2u);
  ASSERT_TRUE(Qor_Xml_Node_GetChildByName(interfaces, "Configuration", &configuration));
  ASSERT_TRUE(Qor_Xml_Node_GetNextByName(configuration, "Interface", &a));
  ASSERT_TRUE(Qor_Xml_Node_GetNextByName(a, "Interface", &b)); // past "Other"
  EXPECT_FALSE(Qor_Xml_Node_GetNextByName(b, "Interface", &none));
  EXPECT_EQ(none, nullptr);
  EXPECT_FALSE(Qor_Xml_Node_GetChildByName(a, "Missing", &none));

  const char* const names[] = {"V"};
  uint32_t values[2] = {0, 99};
  ASSERT_EQ(Qor_Xml_NodeValues_GetFromNode_U32(b, 1, names, values), 0u);
  EXPECT_EQ(values[0], 2u);
  EXPECT_EQ(values[1], 99u);

  Qor_Xml_Node_t value = Qor_Xml_Node_Alloc(), first = Qor_Xml_Node_Alloc(), second = Qor_Xml_Node_Alloc();
  ASSERT_TRUE(Qor_Xml_Node_GetChildByName(a, "V", &value));
  EXPECT_EQ(Qor_Xml_NodeValue_Set_U32(value, 4294967295u), 0u);
  EXPECT_EQ(Qor_Xml_Node_InsertChildBefore(b, "Interface", &first), 0u);
  EXPECT_EQ(Qor_Xml_Node_InsertChildBefore2(first, "New", &second), 0u);
  EXPECT_EQ(Qor_Xml_Node_AppendChild(interfaces, "Last", nullptr), 0u);
  EXPECT_EQ(Qor_Xml_Node_RemoveChildren(b), 0u);
  EXPECT_EQ(Qor_Xml_NodeAttributes_Clear(b), 0u);
  EXPECT_EQ(Qor_Xml_Node_GetNumberOfChildNodes(interfaces, "Interface"), 3u);
  ASSERT_EQ(Qor_Xml_Document_Save(file.document, path.c_str()), 0u);
  EXPECT_EQ(readFile(path), "<?xml version=\"1.0\"?>\n<Interfaces>\n  <Configuration />\n"
                            "  <Interface id=\"a\">\n    <V>4294967295</V>\n  </Interface>\n  <Other />\n"
                            "  <New />\n  <Interface />\n  <Interface />\n  <Last />\n</Interfaces>\n");
}

TEST(XmlDocument, CallsWithoutANodeFailCleanly) {
  TempDirectory directory;
  const std::string path = directory.file("doc.xml");
  ASSERT_TRUE(writeFile(path, "<Interfaces/>"));
  Document file;
  ASSERT_EQ(Qor_Xml_Document_LoadFile(path.c_str(), &file.document), 0u);
  const char* const names[] = {"V"};
  uint32_t value = 0;
  Qor_Xml_Node_t out = Qor_Xml_Node_Alloc();
  const std::pair<const char*, std::function<uint32_t()>> calls[] = {
      {"values", [&] { return Qor_Xml_NodeValues_GetFromNode_U32(nullptr, 1, names, &value); }},
      {"set", [] { return Qor_Xml_NodeValue_Set_U32(nullptr, 1); }},
      {"set on the document", [&] { return Qor_Xml_NodeValue_Set_U32(file.document.node, 1); }},
      {"insert", [&] { return Qor_Xml_Node_InsertChildBefore(nullptr, "X", &out); }},
      {"insert before the document", [&] { return Qor_Xml_Node_InsertChildBefore2(file.document.node, "X", &out); }},
      {"insert without name", [&] { return Qor_Xml_Node_InsertChildBefore(file.document.node, "", &out); }},
      {"append", [&] { return Qor_Xml_Node_AppendChild(nullptr, "X", &out); }},
      {"append without name", [&] { return Qor_Xml_Node_AppendChild(file.document.node, nullptr, &out); }},
      {"remove children", [] { return Qor_Xml_Node_RemoveChildren(nullptr); }},
      {"clear attributes", [] { return Qor_Xml_NodeAttributes_Clear(nullptr); }},
      {"save without document", [&] { return Qor_Xml_Document_Save(Qor_Xml_Document_t{}, path.c_str()); }},
  };
  for (const auto& [name, call] : calls) {
    SCOPED_TRACE(name);
    EXPECT_EQ(call(), QOR_XML_ERR_NODE);
  }
  EXPECT_FALSE(Qor_Xml_Node_GetChildByName(nullptr, "Interfaces", &out));
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(Qor_Xml_Node_GetNumberOfChildNodes(nullptr, "Interfaces"), 0u);
  Qor_Xml_Document_Free(nullptr);
}

struct NumberCase {
  const char* text;
  uint32_t result;
  uint32_t value;
};

TEST(XmlDocument, NumbersAreReadStrictly) {
  const NumberCase cases[] = {
      {"<V>7</V>", 0, 7},
      {"<V>\n  42 </V>", 0, 42},
      {"<V>0x1f</V>", 0, 0x1F},
      {"<V>4294967295</V>", 0, 4294967295u},
      {"<V>4294967296</V>", QOR_XML_ERR_PARSER, 0},
      {"<V>0x100000000</V>", QOR_XML_ERR_PARSER, 0},
      {"<V>-1</V>", QOR_XML_ERR_PARSER, 0},
      {"<V>+1</V>", QOR_XML_ERR_PARSER, 0},
      {"<V>12abc</V>", QOR_XML_ERR_PARSER, 0},
      {"<V>1 2</V>", QOR_XML_ERR_PARSER, 0},
      {"<V>0x</V>", QOR_XML_ERR_PARSER, 0},
      {"<V/>", QOR_XML_ERR_PARSER, 0},
      {"<W>1</W>", QOR_XML_ERR_NODE_NOT_FOUND, 0},
  };
  TempDirectory directory;
  const std::string path = directory.file("numbers.xml");
  for (const NumberCase& c : cases) {
    SCOPED_TRACE(c.text);
    ASSERT_TRUE(writeFile(path, std::string("<R>") + c.text + "</R>"));
    Document file;
    ASSERT_EQ(Qor_Xml_Document_LoadFile(path.c_str(), &file.document), 0u);
    Qor_Xml_Node_t root = Qor_Xml_Node_Alloc();
    ASSERT_TRUE(Qor_Xml_Node_GetChildByName(file.document.node, "R", &root));
    const char* const names[] = {"V"};
    uint32_t value = 0;
    EXPECT_EQ(Qor_Xml_NodeValues_GetFromNode_U32(root, 1, names, &value), c.result);
    if (c.result == 0) {
      EXPECT_EQ(value, c.value);
    }
  }
}

struct LoadCase {
  const char* name;
  std::function<void(const std::string& path)> make;
  uint32_t result;
  const char* text;
};

TEST(XmlDocument, FilesThatCannotBeLoaded) {
  const LoadCase cases[] = {
      {"missing", [](const std::string&) {}, QOR_XML_ERR_FILE, "No such file or directory"},
      {"empty", [](const std::string& p) { writeFile(p, ""); }, QOR_XML_ERR_PARSER, "is damaged"},
      {"cut short", [](const std::string& p) { writeFile(p, "<Interfaces><Configuration><Na"); }, QOR_XML_ERR_PARSER,
       "is damaged"},
      {"no XML", [](const std::string& p) { writeFile(p, "[FILES]\ndeviceCfg = x\n"); }, QOR_XML_ERR_PARSER,
       "is damaged"},
      {"a directory", [](const std::string& p) { mkdir(p.c_str(), 0700); }, QOR_XML_ERR_FILE, "is no regular file"},
      {"too large", [](const std::string& p) { writeFile(p, "<R>" + std::string(17u << 20, ' ') + "</R>"); },
       QOR_XML_ERR_FILE, "is larger than"},
  };
  for (const LoadCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempDirectory directory;
    const std::string path = directory.file("file.xml");
    c.make(path);
    Document file;
    EXPECT_EQ(Qor_Xml_Document_LoadFile(path.c_str(), &file.document), c.result);
    EXPECT_EQ(file.document.data, nullptr);
    EXPECT_NE(std::string(Qor_Xml_GetLastErrorDescription()).find(c.text), std::string::npos)
        << Qor_Xml_GetLastErrorDescription();
  }
}

} // namespace
