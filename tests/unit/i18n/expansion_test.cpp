// Reading entries from a locale document and expanding {KEY} references between them.
#include <gtest/gtest.h>

#include <string>

#include "LocaleTestSupport.h"

namespace {

using testsupport::MakeConfig;
using testsupport::TestLanguageManager;

std::string Doc(const std::string& entries) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Locale name=\"xx\">" + entries + "</Locale>";
}

class Expansion : public ::testing::Test {
 protected:
  TestLanguageManager manager{MakeConfig(L"DLM")};
};

TEST_F(Expansion, InsertedTextsAreExpandedTooWhateverTheKeyOrder) {
  ASSERT_TRUE(
      manager.LoadXml(Doc("<A_OUTER>a {Z_MIDDLE}</A_OUTER>"
                          "<Z_MIDDLE>z {B_INNER}!</Z_MIDDLE>"
                          "<B_INNER>b</B_INNER>"
                          "<M_TWICE>{B_INNER}{B_INNER} and {A_OUTER}</M_TWICE>")));
  EXPECT_EQ(manager.Utf8("A_OUTER"), "a z b!");
  EXPECT_EQ(manager.Utf8("Z_MIDDLE"), "z b!");
  EXPECT_EQ(manager.Utf8("M_TWICE"), "bb and a z b!");
}

TEST_F(Expansion, UnknownReferencesAndStrayBracesStayAsWritten) {
  ASSERT_TRUE(
      manager.LoadXml(Doc("<NEXT>Next</NEXT>"
                          "<MISSING>click {NO_SUCH_KEY} now</MISSING>"
                          "<CASE>{next} is not {NEXT}</CASE>"
                          "<OPEN_ONLY>{NEXT} then {unterminated and {NEXT</OPEN_ONLY>"
                          "<CLOSE_FIRST>} {NEXT} }</CLOSE_FIRST>"
                          "<EMPTY_NAME>{} {NEXT}</EMPTY_NAME>"
                          "<DOUBLE_OPEN>{{NEXT}</DOUBLE_OPEN>")));
  EXPECT_EQ(manager.Utf8("MISSING"), "click {NO_SUCH_KEY} now");
  EXPECT_EQ(manager.Utf8("CASE"), "{next} is not Next");
  EXPECT_EQ(manager.Utf8("OPEN_ONLY"), "Next then {unterminated and {NEXT");
  EXPECT_EQ(manager.Utf8("CLOSE_FIRST"), "} Next }");
  EXPECT_EQ(manager.Utf8("EMPTY_NAME"), "{} Next");
  // The name runs from the first "{" to the next "}", so "{NEXT" is the name looked up.
  EXPECT_EQ(manager.Utf8("DOUBLE_OPEN"), "{{NEXT}");
}

TEST_F(Expansion, SelfReferenceAndCyclesEndWithTheReferenceKept) {
  ASSERT_TRUE(
      manager.LoadXml(Doc("<SELF>x {SELF} y</SELF>"
                          "<USES_SELF>see: {SELF}</USES_SELF>"
                          "<A>a{B}</A><B>b{C}</B><C>c{A}</C>")));
  EXPECT_EQ(manager.Utf8("SELF"), "x {SELF} y");
  EXPECT_EQ(manager.Utf8("USES_SELF"), "see: x {SELF} y");
  // Each member of the cycle shows the reference that would lead back to itself.
  EXPECT_EQ(manager.Utf8("A"), "abc{A}");
  EXPECT_EQ(manager.Utf8("B"), "bca{B}");
  EXPECT_EQ(manager.Utf8("C"), "cab{C}");
}

TEST_F(Expansion, NestingDeeperThanTheLimitStaysAsWritten) {
  static_assert(LanguageManager::kMaxReferenceDepth == 8);
  std::string entries;
  for (int i = 0; i <= 9; ++i) {
    const std::string key = "K" + std::to_string(i);
    entries += "<" + key + ">" + (i < 9 ? "{K" + std::to_string(i + 1) + "}" : std::string("end")) + "</" + key + ">";
  }
  ASSERT_TRUE(manager.LoadXml(Doc(entries)));
  EXPECT_EQ(manager.Utf8("K1"), "end");   // eight levels: expanded
  EXPECT_EQ(manager.Utf8("K0"), "{K9}");  // the ninth is not
}

TEST_F(Expansion, RepeatedReferencesCannotGrowWithoutBound) {
  // Without a limit the first text would double 29 times (about 500 million characters).
  std::string entries;
  for (int i = 0; i < 30; ++i) {
    const std::string key = "D" + std::to_string(i);
    const std::string next = "{D" + std::to_string(i + 1) + "}";
    entries += "<" + key + ">" + (i < 29 ? next + next : std::string("x")) + "</" + key + ">";
  }
  ASSERT_TRUE(manager.LoadXml(Doc(entries)));
  std::string expected;
  for (int i = 0; i < 512; ++i) expected += "{D9}";
  EXPECT_EQ(manager.Utf8("D0"), expected);
  EXPECT_EQ(manager.Utf8("D21"), std::string(256, 'x'));
}

TEST_F(Expansion, ProductTitleIsInsertedAndMayNotLoop) {
  auto config = MakeConfig(L"DLM");
  config->productTitle = L"Acme {PRODUCT_TITLE} {BUTTON_NEXT}";
  TestLanguageManager titled(config);
  ASSERT_TRUE(titled.LoadXml(Doc("<BUTTON_NEXT>Next</BUTTON_NEXT><WELCOME>Get {PRODUCT_TITLE}.</WELCOME>")));
  // The title is the document's text, inserted as it is: nothing in it is expanded.
  EXPECT_EQ(titled.Utf8("PRODUCT_TITLE"), "Acme {PRODUCT_TITLE} {BUTTON_NEXT}");
  EXPECT_EQ(titled.Utf8("WELCOME"), "Get Acme {PRODUCT_TITLE} {BUTTON_NEXT}.");
}

TEST_F(Expansion, EntriesAreReadAsTheDocumentWritesThem) {
  ASSERT_TRUE(
      manager.LoadXml(Doc("<!-- a comment between entries -->"
                          "<COMMENTED><!-- before the text -->text</COMMENTED>"
                          "<TWICE>first</TWICE><TWICE>second</TWICE>"
                          "<Case>mixed</Case>"
                          "<ENTITIES>&lt;a href=\"x\"&gt;&amp;&lt;/a&gt;&#13;&#10;&#x00E9;</ENTITIES>"
                          "<UNICODE>Türkçe русский</UNICODE>"
                          "<SPACES>  two\tspaces  </SPACES><LINES>\n  indented\n</LINES>")));
  EXPECT_EQ(manager.Utf8("COMMENTED"), "text");
  EXPECT_EQ(manager.Utf8("TWICE"), "second");
  EXPECT_EQ(manager.Utf8("Case"), "mixed");
  EXPECT_EQ(manager.Utf8("CASE"), "");
  EXPECT_EQ(manager.Utf8("ENTITIES"), "<a href=\"x\">&</a>\r\n\xC3\xA9");
  EXPECT_EQ(manager.GetString("UNICODE"), L"T\u00fcrk\u00e7e \u0440\u0443\u0441\u0441\u043a\u0438\u0439");
  EXPECT_EQ(manager.Utf8("SPACES"), "  two\tspaces  ");
  EXPECT_EQ(manager.Utf8("LINES"), "\n  indented\n");
  EXPECT_EQ(manager.GetString("PRODUCT_TITLE"), L"");  // present, but empty reads as missing
  EXPECT_TRUE(manager.messages.empty());
}

TEST_F(Expansion, DocumentWithoutLocaleRootLeavesTheTableAlone) {
  ASSERT_TRUE(manager.LoadXml(Doc("<BUTTON_NEXT>Next</BUTTON_NEXT>")));
  EXPECT_FALSE(manager.LoadXml("<Strings><BUTTON_NEXT>Weiter</BUTTON_NEXT></Strings>"));
  EXPECT_EQ(manager.Utf8("BUTTON_NEXT"), "Next");
  ASSERT_EQ(manager.messages.size(), 1u);
  EXPECT_EQ(manager.messages[0], L"Failed to parse language xml file, error code: No Locale element");
}

// The document fails half-way; the previous table stays whole, nothing of the new one is used.
TEST_F(Expansion, EntryWithoutTextLeavesThePreviousTable) {
  ASSERT_TRUE(manager.LoadXml(Doc("<OLD>old</OLD>")));
  EXPECT_FALSE(manager.LoadXml(Doc("<FIRST>one {SECOND}</FIRST><SECOND>two</SECOND><EMPTY/><LATER>late</LATER>")));
  EXPECT_EQ(manager.Utf8("OLD"), "old");
  EXPECT_EQ(manager.Utf8("FIRST"), "");
  EXPECT_EQ(manager.Utf8("LATER"), "");
  ASSERT_EQ(manager.messages.size(), 1u);
  EXPECT_EQ(manager.messages[0], L"Failed to parse language xml file, error code: No name or text attribute");

  manager.messages.clear();
  EXPECT_FALSE(manager.LoadXml(Doc("<NESTED><b>bold</b></NESTED>")));
  EXPECT_EQ(manager.messages.size(), 1u);
}

}  // namespace
