#include "offers/ConfigurationLoader.h"

#include <windows.h>

#include <stdexcept>
#include <string>

#include "config/ConfigurationManager.h"
#include "config/SignedRequest.h"
#include "config/TextUtil.h"
#include "offers/OfferRules.h"
#include "offers/Package.h"
#include "win32/Strings.h"

using nlohmann::json;

namespace {

// Real documents carry a handful of offers. Each offer is judged against those accepted before
// it, so the work grows with the square of the list: offers past this many are not judged.
constexpr std::size_t kMaxOffersJudged = 1000;

// Texts of the document are converted with the thread's ANSI code page, as the rest of the
// configuration expects them.
std::wstring Text(const json& value) { return win32::Widen(value.get<std::string>(), CP_THREAD_ACP); }

// A SHA-256 of the document, compared with the lower-case hex the engine computes.
std::string Sha256Text(const json& value) { return config::LowerAscii(value.get<std::string>()); }

template <typename Target, typename Convert>
void ReadOptional(const json& object, const char* key, Target& target, Convert convert) {
  const auto found = object.find(key);
  if (found != object.end()) target = convert(*found);
}

// A JSON integer that fits an int: 2.5, "2" or 1e12 are a wrong type, never silently cut.
int StrictInt(const json& value) {
  if (!value.is_number_integer()) throw std::invalid_argument("f.m is not an integer");
  if (value.is_number_unsigned()) {
    const auto number = value.get<unsigned long long>();
    if (number > static_cast<unsigned long long>(INT_MAX)) throw std::out_of_range("f.m is out of range");
    return static_cast<int>(number);
  }
  const auto number = value.get<long long>();
  if (number < INT_MIN || number > INT_MAX) throw std::out_of_range("f.m is out of range");
  return static_cast<int>(number);
}

// The title goes into the wizard's own texts as text (never expanded), some of them link
// markup: it is cut to what a page can show and can open no tag.
constexpr std::size_t kMaxTitleCharacters = 256;

std::wstring TitleText(const json& value) {
  std::wstring title = Text(value);
  std::erase_if(title, [](wchar_t c) { return c == L'<' || c == L'>'; });
  if (title.size() > kMaxTitleCharacters) title.resize(kMaxTitleCharacters);
  return title;
}

void ApplyProduct(const json& document, ConfigurationManager& config) {
  const json& product = document.at("i");
  config.productTitle = TitleText(product.at("ct"));
  config.productUrl = Text(product.at("cu"));
  if (config.productTitle.empty() || config.productUrl.empty()) return;
  config.logoUrl.clear();
  ReadOptional(product, "cl", config.logoUrl, Text);
  config.productFileName = config.productTitle + L".exe";
  ReadOptional(product, "cf", config.productFileName, Text);
  ReadOptional(product, "cp", config.privacyUrl, Text);
  ReadOptional(product, "ctu", config.termsUrl, Text);
  ReadOptional(product, "ch", config.channel, Text);
  ReadOptional(product, "cfl", config.cflValue, Text);
  ReadOptional(product, "cb", config.ispbValue, [](const json& value) { return value.get<std::string>(); });
  ReadOptional(product, "sha256", config.productSha256, Sha256Text);
}

}  // namespace

LoadedOffers ApplyConfigurationDocument(const json& document, ConfigurationManager& config,
                                        const EvaluatorSetup& evaluator) {
  LoadedOffers loaded;
  const bool isObject = document.is_object();
  if (isObject) ReadOptional(document, "l", config.countryCode, [](const json& v) { return v.get<std::string>(); });
  if (config.wizardType == ConfigurationManager::kWizardTypeDlm) {
    ApplyProduct(document, config);
    if (config.productTitle.empty() || config.productUrl.empty()) {
      loaded.productUnusable = true;
      return loaded;
    }
  }
  if (isObject) {
    const auto settings = document.find("f");
    if (settings != document.end() && settings->is_object()) {
      ReadOptional(*settings, "a", config.publisherId, [](const json& v) { return v.get<std::string>(); });
    }
  }
  if (!isObject || !document.contains("o") || config.channel == L"00xA") return loaded;

  config.maxOffers = StrictInt(document.at("f").at("m"));
  const json& offers = document.at("o");
  if (!offers.is_array()) throw std::invalid_argument("o is not a list");
  OfferRules rules(config, evaluator.facts ? evaluator.facts : std::make_shared<SystemMachineFacts>());
  if (evaluator.eventSink) rules.SetEventSink(evaluator.eventSink);
  if (evaluator.trace) rules.SetTrace(evaluator.trace);
  bool stop = false;
  std::size_t judged = 0;
  for (const json& offer : offers) {
    if (config.exiting || judged++ == kMaxOffersJudged) break;
    auto package = Package::Offer(config, offer, static_cast<int>(loaded.packages.size()));
    // A rejected package is dropped at once: its "not shown" event goes on without it.
    if (rules.Evaluate(package, stop, loaded.packages)) {
      loaded.packages.push_back(package);
      ++config.offerCount;
      if (package->m_exclusive) break;
    }
    if (stop) break;
  }
  return loaded;
}
