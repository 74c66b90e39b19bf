// The flat objects the wizard sends are written exactly as the JSON library writes them.
#include "config/JsonFields.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <stdexcept>
#include <string>

namespace {

using nlohmann::json;

TEST(JsonFields, WritesTheLibrarysBytes) {
  const std::string texts[] = {
      "",
      "plain text / with a slash",
      "quote \" backslash \\ and \b\f\n\r\t",
      std::string("controls \x01\x1f and nul ") + '\0' + "\x7f",
      "UTF-8: \xc2\x80 \xdf\xbf \xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80 \xef\xbf\xbf \xf4\x8f\xbf\xbf",
  };
  config::JsonFields fields;
  json reference = json::object();
  int key = 0;
  for (const std::string& text : texts) {
    fields.Set("k" + std::to_string(key), text);
    reference["k" + std::to_string(key++)] = text;
  }
  for (const long long number : {0LL, -1LL, 1234567890123LL}) {
    fields.SetNumber(std::to_string(number), number);
    reference[std::to_string(number)] = number;
  }
  fields.Set("\xc3\xa9 key \"", "replaced");
  fields.Set("\xc3\xa9 key \"", "twice");
  reference["\xc3\xa9 key \""] = "twice";
  EXPECT_EQ(fields.dump(), reference.dump());
  EXPECT_EQ(fields.Size(), reference.size());
  EXPECT_EQ(config::JsonFields().dump(), json::object().dump());
}

TEST(JsonFields, RefusesWhatTheLibraryRefusesToWrite) {
  for (const char* text :
       {"\xff", "\xc0\xaf", "\xc3", "\xe0\x80\x80", "\xed\xa0\x80", "\xf4\x90\x80\x80", "\x80", "ok \xe2\x82"}) {
    SCOPED_TRACE(testing::PrintToString(text));
    EXPECT_THROW((void)json(text).dump(), json::type_error);
    config::JsonFields fields;
    fields.Set("key", text);
    EXPECT_THROW((void)fields.dump(), std::invalid_argument);
  }
}

}  // namespace
