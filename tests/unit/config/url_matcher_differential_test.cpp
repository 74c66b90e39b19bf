// The URL test is hand-written to keep the regex engine out of the stub; here it is compared
// with the regular expression it replaces over many generated inputs.
#include <gtest/gtest.h>

#include <random>
#include <regex>
#include <string>

#include "config/TextUtil.h"

namespace {

const std::regex& Reference() {
  static const std::regex expression("^((http|https):\\/\\/)?([\\w.-]+)(\\.[\\w.-]+)+([\\/?#].*)?$",
                                     std::regex::ECMAScript);
  return expression;
}

void ExpectSame(const std::string& input) {
  const bool expected = std::regex_match(input, Reference());
  ASSERT_EQ(config::LooksLikeUrlBytes(input), expected) << "input: \"" << input << "\"";
}

TEST(UrlMatcherDifferential, EveryByteInEveryPosition) {
  // Each byte value placed in the scheme, the host, right after the host and in the tail.
  const std::string templates[] = {"h#ttp://a.b/c", "http://a#.b/c", "http://a.b#/c", "http://a.b/#c",
                                   "a#.b",          "#a.b",          "a.b#",          "https://#a.b"};
  for (const std::string& pattern : templates) {
    for (int value = 0; value < 256; ++value) {
      std::string input = pattern;
      input[input.find('#')] = static_cast<char>(value);
      ExpectSame(input);
    }
  }
}

TEST(UrlMatcherDifferential, RandomInputsOverARelevantAlphabet) {
  const std::string alphabet = "aZ09_.-/?#:hsptx\r\n \t%\x80\xff\x01";
  const std::string pieces[] = {"http://",  "https://", "http:/", "https:", "http", ".", "..", "/",  "?",
                                "#",        "a",        "b.c",    "-",      "_",    ":", "\n", "\r", "www.example.com",
                                "setup.exe"};
  std::mt19937 random(12345);
  for (int round = 0; round < 200000; ++round) {
    std::string input;
    const int length = static_cast<int>(random() % 9);
    for (int i = 0; i < length; ++i) {
      if (random() % 2 == 0) {
        input += alphabet[random() % alphabet.size()];
      } else {
        input += pieces[random() % std::size(pieces)];
      }
    }
    ExpectSame(input);
  }
}

TEST(UrlMatcherDifferential, AllShortStringsOverACoreAlphabet) {
  const std::string core = "a.:/h?\n";
  for (int length = 0; length <= 6; ++length) {
    std::string input(static_cast<std::size_t>(length), core[0]);
    std::vector<int> index(static_cast<std::size_t>(length), 0);
    for (;;) {
      for (int i = 0; i < length; ++i) input[i] = core[index[i]];
      ExpectSame(input);
      int position = 0;
      while (position < length && ++index[position] == static_cast<int>(core.size())) index[position++] = 0;
      if (position == length) break;
    }
  }
}

}  // namespace
