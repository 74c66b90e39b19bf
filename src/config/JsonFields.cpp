#include "config/JsonFields.h"

#include <algorithm>
#include <stdexcept>

namespace config {

namespace {

// Length of the well-formed UTF-8 sequence at `text[i]` (no overlong forms, no surrogates,
// nothing past U+10FFFF); 0 when there is none.
std::size_t SequenceLength(std::string_view text, std::size_t i) {
  const auto byte = [&](std::size_t at) { return at < text.size() ? static_cast<unsigned char>(text[at]) : 0u; };
  const unsigned lead = byte(i);
  const auto tail = [&](std::size_t at, unsigned low = 0x80, unsigned high = 0xBF) {
    return byte(at) >= low && byte(at) <= high;
  };
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return tail(i + 1) ? 2 : 0;
  if (lead >= 0xE0 && lead <= 0xEF) {
    const unsigned low = lead == 0xE0 ? 0xA0 : 0x80;
    const unsigned high = lead == 0xED ? 0x9F : 0xBF;
    return tail(i + 1, low, high) && tail(i + 2) ? 3 : 0;
  }
  if (lead >= 0xF0 && lead <= 0xF4) {
    const unsigned low = lead == 0xF0 ? 0x90 : 0x80;
    const unsigned high = lead == 0xF4 ? 0x8F : 0xBF;
    return tail(i + 1, low, high) && tail(i + 2) && tail(i + 3) ? 4 : 0;
  }
  return 0;
}

void AppendQuoted(std::string& out, std::string_view text) {
  static constexpr std::string_view kShortEscapes = "\b\t\n\f\r\"\\";
  static constexpr std::string_view kShortLetters = "btnfr\"\\";
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = SequenceLength(text, i);
    if (length == 0) throw std::invalid_argument("a JSON text that is not UTF-8");
    const auto c = static_cast<unsigned char>(text[i]);
    const std::size_t shortEscape = kShortEscapes.find(text[i]);
    if (shortEscape != std::string_view::npos) {
      out += '\\';
      out += kShortLetters[shortEscape];
    } else if (c < 0x20) {
      out += "\\u00";
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    } else {
      out.append(text, i, length);
    }
    i += length;
  }
  out += '"';
}

}  // namespace

JsonFields::Field& JsonFields::At(std::string_view key) {
  auto at = std::lower_bound(m_fields.begin(), m_fields.end(), key,
                             [](const Field& field, std::string_view wanted) { return field.key < wanted; });
  if (at == m_fields.end() || at->key != key) at = m_fields.insert(at, Field{std::string(key), {}, false});
  return *at;
}

const JsonFields::Field* JsonFields::Find(std::string_view key) const {
  const auto at = std::lower_bound(m_fields.begin(), m_fields.end(), key,
                                   [](const Field& field, std::string_view wanted) { return field.key < wanted; });
  return at != m_fields.end() && at->key == key ? &*at : nullptr;
}

void JsonFields::Set(std::string_view key, std::string text) {
  Field& field = At(key);
  field.value = std::move(text);
  field.number = false;
}

void JsonFields::SetNumber(std::string_view key, long long number) {
  Field& field = At(key);
  field.value = std::to_string(number);
  field.number = true;
}

bool JsonFields::Contains(std::string_view key) const { return Find(key) != nullptr; }

std::string JsonFields::Text(std::string_view key) const {
  const Field* field = Find(key);
  return field != nullptr && !field->number ? field->value : std::string();
}

std::string JsonFields::dump() const {
  std::string out = "{";
  for (const Field& field : m_fields) {
    if (out.size() > 1) out += ',';
    AppendQuoted(out, field.key);
    out += ':';
    if (field.number) {
      out += field.value;
    } else {
      AppendQuoted(out, field.value);
    }
  }
  out += '}';
  return out;
}

}  // namespace config
