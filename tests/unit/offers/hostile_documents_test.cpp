// Offer objects built to crash, hang or exhaust the wizard fail that one package quickly.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>

#include "config/ConfigurationManager.h"
#include "offers/Package.h"

using nlohmann::json;

namespace {

std::string Repeat(const std::string& text, std::size_t times) {
  std::string result;
  for (std::size_t i = 0; i < times; ++i) result += text;
  return result;
}

std::string OfferText(const std::string& id, const std::string& psExtra) {
  return R"({"ad": {"o": ")" + id + R"(", "f": "token"}, "ps": {"i": "i", "dn": "d", "u": "u")" + psExtra + "}}";
}

enum class Outcome { kBuilt, kTypeError, kOutOfRange, kTooLong };

Outcome Build(const std::string& document) {
  const json offer = json::parse(document);
  try {
    Package::Offer(*ConfigurationManager::GetInstance(), offer, 0);
    return Outcome::kBuilt;
  } catch (const json::type_error&) {
    return Outcome::kTypeError;
  } catch (const json::out_of_range&) {
    return Outcome::kOutOfRange;
  } catch (const std::length_error&) {
    return Outcome::kTooLong;
  }
}

TEST(HostileDocuments, FailThePackageQuickly) {
  const std::string of1k = Repeat("x", 1024);
  const struct {
    const char* name;
    std::string document;
    Outcome outcome;
  } cases[] = {
      {"cmdu arrays 20,000 deep", OfferText("o", R"(, "cmdu": )" + Repeat("[", 20000) + Repeat("]", 20000)),
       Outcome::kTypeError},
      {"fe arrays 20,000 deep", OfferText("o", R"(, "fe": )" + Repeat("[", 20000) + Repeat("]", 20000)),
       Outcome::kTypeError},
      {"cmdu object 10,000 deep",
       OfferText("o", R"(, "cmdu": [{"utr": )" + Repeat(R"({"a": )", 10000) + "1" + Repeat("}", 10000) + "}]"),
       Outcome::kTypeError},
      {"id of 256 bytes", OfferText(Repeat("i", 256), ""), Outcome::kBuilt},
      {"id of 257 bytes", OfferText(Repeat("i", 257), ""), Outcome::kTypeError},
      {"id of 1 MiB", OfferText(Repeat("i", 1 << 20), ""), Outcome::kTypeError},
      {"text of 64 KiB", OfferText("o", R"(, "p": ")" + Repeat(of1k, 64) + R"(")"), Outcome::kBuilt},
      {"text over 64 KiB", OfferText("o", R"(, "p": ")" + Repeat(of1k, 64) + R"(y")"), Outcome::kTooLong},
      {"expansion exactly 64 KiB",
       R"({"ad": {"o": "o", "f": ")" + of1k + R"("}, "ps": {"i": "i", "u": "u", "dn": ")" + Repeat("{of}", 64) +
           R"("}})",
       Outcome::kBuilt},
      // 57 KB that would expand to 252 MB: "sp" holds 63 KiB of {of}, "p" 4,000 copies of that.
      {"expansion across levels",
       R"({"ad": {"o": "o", "f": ")" + of1k + R"("}, "ps": {"i": "i", "dn": "d", "u": "u", "pn": true, "sp": ")" +
           Repeat("{of}", 63) + R"(", "p": ")" + Repeat("{pnstubparams}", 4000) + R"("}})",
       Outcome::kTooLong},
  };
  for (const auto& c : cases) {
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(Build(c.document), c.outcome) << c.name;
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1)) << c.name;
  }
}

}  // namespace
