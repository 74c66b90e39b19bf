#pragma once
// A flat JSON object of text and integer fields: the event payloads and request bodies the
// wizard sends. Written out byte for byte as nlohmann::json writes the same object (keys in
// byte order, compact, texts escaped the same way), without the library's object tree and
// writer in the stub; dump() keeps the library's name, so both read alike in tests.
#include <string>
#include <string_view>
#include <vector>

namespace config {

class JsonFields {
 public:
  // Adds or replaces a field.
  void Set(std::string_view key, std::string text);
  void SetNumber(std::string_view key, long long number);

  bool Contains(std::string_view key) const;
  // The text of a text field; empty for a number or a missing field.
  std::string Text(std::string_view key) const;
  std::size_t Size() const noexcept { return m_fields.size(); }

  // Raises std::invalid_argument when a text is not UTF-8, as the library refuses to write one.
  std::string dump() const;

 private:
  struct Field {
    std::string key;
    std::string value;
    bool number = false;
  };
  Field& At(std::string_view key);
  const Field* Find(std::string_view key) const;

  std::vector<Field> m_fields;  // sorted by key
};

}  // namespace config
