#include "DocumentMutator.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdint>
#include <limits>
#include <string_view>
#include <vector>

#include "config/Hashing.h"

using nlohmann::json;

std::uint64_t FuzzRandom::Next() {
  // splitmix64: the same sequence on every compiler and architecture.
  std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ULL);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

namespace {

// Stands for deep nesting until the document is text: the test's own copies and serialisation
// of such a value would recurse once per level.
constexpr char kNestingMarker[] = "@@nesting@@:";

template <typename T>
const T& Pick(FuzzRandom& random, const std::vector<T>& items) {
  return items[random.Below(items.size())];
}

std::string Repeat(const std::string& text, std::size_t times) {
  std::string result;
  result.reserve(text.size() * times);
  for (std::size_t i = 0; i < times; ++i) result += text;
  return result;
}

const std::vector<std::string> kTexts = {
    // ordinary
    "", " ", "x", "Sample Offer", "offer.png", "https://localhost/f/x.exe", "/S /quiet",
    // markup
    "<b>bold</b>", "</a><a href=\"https://evil.example/\">x</a>", "<script>alert(1)</script>", "&amp;&lt;&#0;",
    "[PACKAGE_NAME][PACKAGE_PRIVACY_URL][PACKAGE_EULA_URL]", "\"'`\\",
    // control characters
    std::string("a\0b", 3), "\r\n\t", "\x01\x02\x1b[31m\x7f", "\b\f\v",
    // Unicode a display may mishandle: direction override, BOM, non-characters, astral, combining
    "\xE2\x80\xAE"
    "evil\xE2\x80\xAC",
    "\xEF\xBB\xBF", "\xEF\xBF\xBF", "\xF0\x9F\x98\x80", "e\xCC\x81", "\xE6\x97\xA5\xE6\x9C\xAC", "\xF4\x8F\xBF\xBF",
    // placeholders, known and not
    "{pxl}", "{of}", "{userid}{sessionid}{cc}{pubid}{ispb}{aflt}{account_md5}",
    "{pnstubparams}{pnapiurl}{pnapikey}{pnop}{pnrparam}{account}{installer}{pnsid}", "{unknown}", "{", "}", "{{of}}",
    "{of",
    // files and path tokens
    "{commonpf}\\x.exe", "{localappdata}\\..\\..\\x", "{windir}", "%TEMP%\\x", "C:\\windows\\notepad.exe",
    "C:\\windows", "\\\\?\\C:\\windows", "CON", "NUL:", "C:", "\\", "..", "*", "C:\\windows\\*",
    // registry paths and names
    "hklm\\software\\microsoft", "hkcu\\software", "hkey_local_machine\\software\\wow6432node\\x", "microsoft\\windows",
    "hklm", "hkcr\\.exe", "software\\microsoft\\windows\\currentversion\\app paths\\notepad.exe\\",
    "hklm\\software\\microsoft\\internet explorer\\version\\9", "hklm\\software\\microsoft\\internet explorer\\version",
    "hkcu\\software\\wine", "\\\\\\", "REG_SZ",
    // processes and programs
    "explorer.exe", "notepad.exe", "wineboot", "services",
    // numbers and versions as text
    "1", "-1", "99999999999999999999", "1.2.3", "1..2", "...", "10.0", "6.1", "a.b.c", "0x10", " 7", "1e5",
    // format strings
    "%s%s%n%x", "%%", "{0}", "$(x)"};

const std::vector<std::string> kRepeated = {"{of}", "{pxl}", "{pnstubparams}", "{userid}", "{cc}", "x", "\\"};
const std::vector<std::size_t> kCounts = {2, 100, 1000, 16384, 16385};
const std::vector<std::size_t> kLengths = {255, 256, 257, 4096, 65535, 65536, 65537, 100000};

// Mostly short texts; one in sixteen long or made of thousands of placeholders.
std::string HostileText(FuzzRandom& random) {
  switch (random.Below(32)) {
    case 0:
    case 1:
    case 2:
    case 3:
      return Pick(random, kTexts) + Pick(random, kTexts);
    case 4:
      return Repeat(Pick(random, kRepeated), Pick(random, kCounts));
    case 5:
      return std::string(Pick(random, kLengths), static_cast<char>('a' + random.Below(26)));
    default:
      return Pick(random, kTexts);
  }
}

json* Member(json& object, const char* key) {
  if (!object.is_object()) return nullptr;
  const auto found = object.find(key);
  return found != object.end() ? &*found : nullptr;
}

json* ObjectMember(json& object, const char* key) {
  json* member = Member(object, key);
  return member != nullptr && member->is_object() ? member : nullptr;
}

const std::vector<json> kNumbers = {0,
                                    1,
                                    2,
                                    3,
                                    -1,
                                    10,
                                    12,
                                    13,
                                    61,
                                    62,
                                    63,
                                    100,
                                    255,
                                    1000,
                                    2500,
                                    INT_MAX,
                                    static_cast<std::int64_t>(INT_MAX) + 1,
                                    INT_MIN,
                                    static_cast<std::int64_t>(INT_MIN) - 1,
                                    std::numeric_limits<std::uint32_t>::max(),
                                    std::numeric_limits<std::int64_t>::max(),
                                    std::numeric_limits<std::int64_t>::min(),
                                    std::numeric_limits<std::uint64_t>::max(),
                                    2.5,
                                    -0.5,
                                    -0.0,
                                    1e12,
                                    -1e12,
                                    1e300,
                                    -1e300,
                                    5e-324};

json HostileNumber(FuzzRandom& random) {
  if (random.OneIn(3)) return static_cast<int>(random.Below(20));
  return Pick(random, kNumbers);
}

json AnyValue(FuzzRandom& random) {
  switch (random.Below(11)) {
    case 0:
      return nullptr;
    case 1:
      return random.OneIn(2);
    case 2:
      return HostileNumber(random);
    case 3:
      return HostileText(random);
    case 4:
      return json::array();
    case 5:
      return json::array({HostileText(random), HostileNumber(random)});
    case 6:
      return json::object();
    case 7:
      return {{"x", HostileText(random)}};
    case 8:
      return json::array({json::array({json::array({"x"})})});
    case 9: {
      // Nesting 100, 1,000, 20,000 or (rarely: it is slow to parse) 100,000 levels deep.
      const std::size_t depth = random.OneIn(8) ? 3 : random.Below(3);
      return std::string(kNestingMarker) + std::to_string(depth) + ":" + std::to_string(random.Below(4));
    }
    default:
      return json::array({json::object()});
  }
}

enum class Kind { kText, kNumber, kFlag, kTexts, kChecks, kVersions, kObject };

struct Key {
  const char* name;
  Kind kind;
};

enum class Role { kTop, kProduct, kSettings, kOffer, kAd, kPs, kFlow, kCheck };

const std::vector<Key>& KeysOf(Role role) {
  static const std::vector<Key> kTop = {{"l", Kind::kText}, {"i", Kind::kObject}, {"f", Kind::kObject}};
  static const std::vector<Key> kProduct = {{"ct", Kind::kText}, {"cu", Kind::kText},  {"cl", Kind::kText},
                                            {"cf", Kind::kText}, {"cp", Kind::kText},  {"ctu", Kind::kText},
                                            {"ch", Kind::kText}, {"cfl", Kind::kText}, {"cb", Kind::kText}};
  static const std::vector<Key> kSettings = {{"a", Kind::kText}, {"m", Kind::kNumber}};
  static const std::vector<Key> kOffer = {{"ad", Kind::kObject}, {"ps", Kind::kObject}};
  static const std::vector<Key> kAd = {{"o", Kind::kText}, {"f", Kind::kText}};
  static const std::vector<Key> kPs = {
      {"i", Kind::kText},     {"dn", Kind::kText},     {"u", Kind::kText},       {"p", Kind::kText},
      {"cp", Kind::kText},    {"ctu", Kind::kText},    {"c", Kind::kText},       {"pv", Kind::kText},
      {"pnau", Kind::kText},  {"pnak", Kind::kText},   {"pnr", Kind::kText},     {"pnop", Kind::kText},
      {"la", Kind::kText},    {"sp", Kind::kText},     {"v", Kind::kNumber},     {"ov", Kind::kNumber},
      {"x", Kind::kNumber},   {"disk", Kind::kNumber}, {"ram", Kind::kNumber},   {"cpu", Kind::kNumber},
      {"exc", Kind::kFlag},   {"win64", Kind::kFlag},  {"pn", Kind::kFlag},      {"pnsi", Kind::kFlag},
      {"fe", Kind::kTexts},   {"ife", Kind::kTexts},   {"a", Kind::kTexts},      {"r", Kind::kTexts},
      {"ir", Kind::kTexts},   {"rvn", Kind::kTexts},   {"rvd", Kind::kTexts},    {"eapp", Kind::kTexts},
      {"iapp", Kind::kTexts}, {"cmdu", Kind::kChecks}, {"pnrp", Kind::kVersions}};
  static const std::vector<Key> kFlow = {{"mb", Kind::kNumber}, {"ma", Kind::kNumber}, {"mo", Kind::kNumber},
                                         {"ab", Kind::kTexts},  {"aa", Kind::kTexts},  {"saad", Kind::kFlag},
                                         {"sied", Kind::kFlag}};
  static const std::vector<Key> kCheck = {{"utr", Kind::kText},  {"utk", Kind::kText},   {"utvn", Kind::kText},
                                          {"utvt", Kind::kText}, {"umd", Kind::kNumber}, {"utms", Kind::kFlag}};
  switch (role) {
    case Role::kTop:
      return kTop;
    case Role::kProduct:
      return kProduct;
    case Role::kSettings:
      return kSettings;
    case Role::kOffer:
      return kOffer;
    case Role::kAd:
      return kAd;
    case Role::kPs:
      return kPs;
    case Role::kFlow:
      return kFlow;
    default:
      return kCheck;
  }
}

// Base-62 encodings of the document's offer ids: what flow lists hold when they admit an offer.
std::vector<std::string> EncodedIds(const json& document) {
  std::vector<std::string> ids;
  if (!document.is_object() || !document.contains("o") || !document["o"].is_array()) return ids;
  for (const json& offer : document["o"]) {
    const json ad = offer.is_object() ? offer.value("ad", json()) : json();
    const json id = ad.is_object() ? ad.value("o", json()) : json();
    if (id.is_string() && id.get_ref<const std::string&>().size() <= 256) {
      ids.push_back(config::Base62Encode(id.get<std::string>()));
    }
  }
  return ids;
}

json Check(FuzzRandom& random) {
  json check = {{"utr", random.OneIn(2) ? "hkey_local_machine" : HostileText(random)},
                {"utk", random.OneIn(2) ? "software\\microsoft\\windows nt\\currentversion" : HostileText(random)},
                {"utvn", random.OneIn(2) ? "installdate" : HostileText(random)},
                {"utvt", "REG_DWORD"},
                {"umd", HostileNumber(random)}};
  if (random.OneIn(2)) check["utms"] = random.OneIn(2);
  if (random.OneIn(8)) check.erase(check.begin());
  return check;
}

json ValueOf(Kind kind, FuzzRandom& random, const json& document) {
  switch (kind) {
    case Kind::kText:
      return HostileText(random);
    case Kind::kNumber:
      return HostileNumber(random);
    case Kind::kFlag:
      return random.OneIn(2);
    case Kind::kTexts: {
      static const std::vector<std::size_t> kSizes = {0, 1, 2, 5, 1000};
      const std::size_t size = Pick(random, kSizes);
      const std::vector<std::string> ids = EncodedIds(document);
      json list = json::array();
      for (std::size_t i = 0; i < size; ++i) {
        if (!ids.empty() && random.OneIn(2)) {
          list.push_back(Pick(random, ids));
        } else if (random.OneIn(20)) {
          list.push_back(AnyValue(random));
        } else {
          // Long lists hold short texts: the service caps a document at 4 MiB.
          list.push_back(size > 5 ? Pick(random, kTexts) : HostileText(random));
        }
      }
      return list;
    }
    case Kind::kChecks: {
      json checks = json::array();
      for (std::size_t i = random.Below(4); i > 0; --i) checks.push_back(Check(random));
      return checks;
    }
    case Kind::kVersions: {
      json versions = json::object();
      for (const char* key : {"default", "10.0", "6.1", "6.3"}) {
        if (random.OneIn(2)) versions[key] = random.OneIn(6) ? AnyValue(random) : json(HostileText(random));
      }
      return versions;
    }
    default:
      return random.OneIn(2) ? json::object() : AnyValue(random);
  }
}

// A random object of the given role in the document; flow settings and uninstall checks are
// made when missing.
json* Container(json& document, Role role, FuzzRandom& random) {
  if (!document.is_object()) return nullptr;
  switch (role) {
    case Role::kTop:
      return &document;
    case Role::kProduct:
      return ObjectMember(document, "i");
    case Role::kSettings:
      return ObjectMember(document, "f");
    default:
      break;
  }
  json* offers = Member(document, "o");
  if (offers == nullptr || !offers->is_array() || offers->empty()) return nullptr;
  json* offer = &(*offers)[random.Below(offers->size())];
  if (role == Role::kOffer) return offer->is_object() ? offer : nullptr;
  if (role == Role::kAd) return ObjectMember(*offer, "ad");
  json* ps = ObjectMember(*offer, "ps");
  if (ps == nullptr || role == Role::kPs) return ps;
  if (role == Role::kFlow) {
    // The flow settings count only inside an enabled notification block.
    if (!random.OneIn(4)) (*ps)["pn"] = true;
    if (!ps->contains("cfs")) (*ps)["cfs"] = json::object();
    return ObjectMember(*ps, "cfs");
  }
  if (!ps->contains("cmdu")) (*ps)["cmdu"] = json::array({Check(random)});
  json& checks = (*ps)["cmdu"];
  if (!checks.is_array() || checks.empty()) return nullptr;
  json& check = checks[random.Below(checks.size())];
  return check.is_object() ? &check : nullptr;
}

std::vector<json*> Nodes(json& document) {
  std::vector<json*> nodes;
  std::vector<json*> pending = {&document};
  while (!pending.empty()) {
    json* node = pending.back();
    pending.pop_back();
    nodes.push_back(node);
    if (node->is_structured()) {
      for (json& child : *node) pending.push_back(&child);
    }
  }
  return nodes;
}

template <typename Predicate>
json* PickNode(json& document, FuzzRandom& random, Predicate predicate) {
  std::vector<json*> matching;
  for (json* node : Nodes(document)) {
    if (predicate(*node)) matching.push_back(node);
  }
  return matching.empty() ? nullptr : Pick(random, matching);
}

void SetKnownKey(json& document, FuzzRandom& random) {
  static const std::vector<Role> kRoles = {Role::kTop, Role::kProduct, Role::kSettings, Role::kOffer,
                                           Role::kAd,  Role::kPs,      Role::kPs,       Role::kPs,
                                           Role::kPs,  Role::kFlow,    Role::kFlow,     Role::kCheck};
  const Role role = Pick(random, kRoles);
  json* container = Container(document, role, random);
  if (container == nullptr) return;
  const Key& key = Pick(random, KeysOf(role));
  (*container)[key.name] = random.OneIn(5) ? AnyValue(random) : ValueOf(key.kind, random, document);
}

void DropKey(json& document, FuzzRandom& random) {
  json* object = PickNode(document, random, [](const json& node) { return node.is_object() && !node.empty(); });
  if (object == nullptr) return;
  auto victim = object->begin();
  std::advance(victim, static_cast<std::ptrdiff_t>(random.Below(object->size())));
  object->erase(victim);
}

void ChangeType(json& document, FuzzRandom& random) {
  json* node = PickNode(document, random, [&document](const json& candidate) { return &candidate != &document; });
  if (node == nullptr || random.OneIn(50)) node = &document;
  *node = AnyValue(random);
}

void ReplaceText(json& document, FuzzRandom& random) {
  json* node = PickNode(document, random, [](const json& candidate) { return candidate.is_string(); });
  if (node == nullptr) return;
  std::string text = node->get<std::string>();
  const std::string hostile = HostileText(random);
  switch (random.Below(3)) {
    case 0:
      text = hostile;
      break;
    case 1: {
      // Inside the text, never within a multi-byte character.
      std::size_t at = random.Below(text.size() + 1);
      while (at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) ++at;
      text.insert(at, hostile);
      break;
    }
    default:
      text += hostile;
      break;
  }
  *node = text;
}

void ReplaceNumber(json& document, FuzzRandom& random) {
  json* node = PickNode(document, random, [](const json& candidate) { return candidate.is_number(); });
  if (node != nullptr) *node = HostileNumber(random);
}

// Offers duplicated, reordered, multiplied, emptied or broken.
void ChangeOffers(json& document, FuzzRandom& random) {
  if (!document.is_object()) return;
  json& offers = document["o"];
  if (!offers.is_array()) offers = json::array();
  const json model = offers.empty()
                         ? json::parse(R"({"ad": {"o": "o", "f": "t"}, "ps": {"i": "i", "dn": "d", "u": "u"}})")
                         : offers[random.Below(offers.size())];
  const auto withVertical = [](json offer, int vertical) {
    if (json* ps = ObjectMember(offer, "ps")) (*ps)["v"] = vertical;
    return offer;
  };
  switch (random.Below(8)) {
    case 0:
      offers.insert(offers.begin() + static_cast<std::ptrdiff_t>(random.Below(offers.size() + 1)), model);
      break;
    case 1:
      // A vertical of its own, or none (-1), which also admits a single offer.
      offers.insert(offers.begin() + static_cast<std::ptrdiff_t>(random.Below(offers.size() + 1)),
                    withVertical(model, random.OneIn(4) ? -1 : static_cast<int>(random.Below(1000)) + 2));
      break;
    case 2:
      for (std::size_t i = offers.size(); i > 1; --i) std::swap(offers[i - 1], offers[random.Below(i)]);
      break;
    case 3:
      if (!offers.empty()) offers.erase(offers.begin() + static_cast<std::ptrdiff_t>(random.Below(offers.size())));
      break;
    case 4:
      offers = json::array();
      break;
    case 5: {
      // Many offers, each with a vertical of its own or all with one.
      static const std::vector<std::size_t> kMany = {20, 100, 1000};
      const std::size_t count = random.OneIn(40) ? kMany[2] : kMany[random.Below(2)];
      const bool distinct = random.OneIn(2);
      for (std::size_t i = 0; i < count; ++i) {
        offers.push_back(withVertical(model, distinct ? static_cast<int>(i) + 2 : 7));
      }
      json* settings = ObjectMember(document, "f");
      if (settings != nullptr && random.OneIn(2)) (*settings)["m"] = static_cast<int>(count);
      break;
    }
    case 6:
      offers.insert(offers.begin() + static_cast<std::ptrdiff_t>(random.Below(offers.size() + 1)), AnyValue(random));
      break;
    default:
      if (offers.empty()) break;
      if (json* ps = ObjectMember(offers[random.Below(offers.size())], "ps")) (*ps)["exc"] = true;
      break;
  }
}

void Wrap(json& document, FuzzRandom& random) {
  json* node = PickNode(document, random, [](const json&) { return true; });
  if (node == nullptr) return;
  for (std::size_t levels = random.Below(3) + 1; levels > 0; --levels) {
    json inner = std::move(*node);
    *node = random.OneIn(2) ? json::array({std::move(inner)}) : json{{"x", std::move(inner)}};
  }
}

void ChangeLimits(json& document, FuzzRandom& random) {
  if (!document.is_object()) return;
  static const std::vector<std::string> kChannels = {"00xA", "00XA", "00xA ", "", "00x"};
  json* product = ObjectMember(document, "i");
  if (product != nullptr && random.OneIn(2)) (*product)["ch"] = Pick(random, kChannels);
  json* settings = ObjectMember(document, "f");
  if (settings != nullptr && random.OneIn(2)) {
    if (random.OneIn(6)) {
      settings->erase("m");
    } else {
      (*settings)["m"] = random.OneIn(2) ? json(static_cast<int>(random.Below(6)) - 1) : HostileNumber(random);
    }
  }
}

void Mutate(json& document, FuzzRandom& random) {
  using Mutation = void (*)(json&, FuzzRandom&);
  // Weighted: mostly changes that keep a usable document, so offer lists are judged often.
  static const std::vector<Mutation> kMutations = {
      SetKnownKey,  SetKnownKey,  SetKnownKey,  SetKnownKey,   SetKnownKey,   SetKnownKey,
      ReplaceText,  ReplaceText,  ReplaceText,  ReplaceNumber, ReplaceNumber, ChangeOffers,
      ChangeOffers, ChangeOffers, ChangeLimits, DropKey,       ChangeType,    Wrap};
  Pick(random, kMutations)(document, random);
}

// Nesting thousands of levels deep, spliced in where the markers stand.
std::string ExpandNestingMarkers(std::string text) {
  static const std::size_t kDepths[] = {100, 1000, 20000, 100000};
  const std::string quoted = std::string("\"") + kNestingMarker;
  for (std::size_t at = text.find(quoted); at != std::string::npos; at = text.find(quoted, at)) {
    const std::size_t end = text.find('"', at + 1);
    const std::string spec = text.substr(at + quoted.size(), end - at - quoted.size());
    const std::size_t depth = kDepths[spec.empty() ? 0 : (static_cast<unsigned char>(spec.front()) - '0') % 4];
    std::string nested;
    switch (spec.empty() ? '0' : spec.back()) {
      case '0':
        nested = Repeat("[", depth) + Repeat("]", depth);
        break;
      case '1':
        nested = Repeat("[", depth) + "\"x\"" + Repeat("]", depth);
        break;
      case '2':
        nested = Repeat("{\"a\":", depth) + "1" + Repeat("}", depth);
        break;
      default:
        nested = Repeat("[{\"ps\":", depth) + "{}" + Repeat("}]", depth);
        break;
    }
    text.replace(at, end + 1 - at, nested);
    at += nested.size();
  }
  return text;
}

// Damage that only a byte stream can carry: ill-formed UTF-8, bad escapes, cut-off text, stray
// bytes, duplicate keys, numbers beyond any type.
std::string Damage(std::string text, FuzzRandom& random) {
  static const std::vector<std::string> kIllFormed = {
      "\xC3\x28", "\xA0\xA1",     "\xE2\x28\xA1", "\xE2\x82\x28", "\xF0\x28\x8C\xBC", "\xF8\xA1\xA1\xA1\xA1",
      "\xC0\x80", "\xED\xA0\x80", "\xFF",         "\xFE",         "\xF4\x90\x80\x80", "\xC3"};
  static const std::vector<std::string> kBadEscapes = {"\\ud800", "\\udc00x", "\\u12", "\\x41", "\\"};
  static const std::vector<std::string> kDuplicates = {"\"o\":1,",
                                                       "\"ps\":{},",
                                                       "\"v\":7,",
                                                       "\"ct\":\"dup\",",
                                                       "\"m\":1,",
                                                       "\"o\":[],",
                                                       "\"ad\":{\"o\":\"d\",\"f\":\"t\"},"};
  static const std::vector<std::string> kNumberLiterals = {
      "1e999", "-1e400", "123456789012345678901234567890", "0.0000000000000000000000000001e-400", "-0", "1E+2"};
  static const std::vector<std::string> kStrayBytes = {
      "{", "}", "[", "]", ",", ":", "\"", "\\", " ", "0", "a", "-", std::string(1, '\0'), "\x80", "\xFF"};
  const auto randomPosition = [&](char c) -> std::size_t {
    std::vector<std::size_t> positions;
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text[i] == c) positions.push_back(i);
    }
    return positions.empty() ? text.size() : Pick(random, positions) + 1;
  };
  switch (random.Below(8)) {
    case 0:
      text.insert(randomPosition('"'), Pick(random, kIllFormed));
      break;
    case 1:
      text.insert(randomPosition('"'), Pick(random, kBadEscapes));
      break;
    case 2:
      text.resize(random.Below(text.size()));
      break;
    case 3:
      if (!text.empty()) text.replace(random.Below(text.size()), 1, Pick(random, kStrayBytes));
      break;
    case 4:
      text.insert(randomPosition('{'), Pick(random, kDuplicates));
      break;
    case 5: {
      std::size_t start = randomPosition(':');
      if (start >= text.size() || !(std::isdigit(static_cast<unsigned char>(text[start])) || text[start] == '-')) {
        break;
      }
      std::size_t end = start;
      while (end < text.size() && std::string_view("0123456789+-.eE").find(text[end]) != std::string_view::npos) {
        ++end;
      }
      text.replace(start, end - start, Pick(random, kNumberLiterals));
      break;
    }
    case 6:
      text = "\xEF\xBB\xBF" + text;  // a byte order mark, which the parser skips
      break;
    default: {
      static const std::vector<std::string> kAround = {"x", "{}", "/* note */", "\n\n", "null"};
      text = random.OneIn(2) ? text + Pick(random, kAround) : Pick(random, kAround) + text;
      break;
    }
  }
  return text;
}

}  // namespace

std::string MutatedDocument(const json& sample, std::uint64_t seed, std::uint64_t index) {
  FuzzRandom random(seed ^ (index * 0xD1B54A32D192ED03ULL));
  json document = sample;
  for (std::size_t mutations = random.Below(4) + 1; mutations > 0; --mutations) Mutate(document, random);
  std::string text = ExpandNestingMarkers(document.dump());
  if (random.OneIn(6)) text = Damage(std::move(text), random);
  return text;
}
