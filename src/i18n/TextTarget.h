#pragma once
// Whatever shows texts of the current language: the language manager tells each one to fetch
// its texts again when the language changes. The wizard's pages are the targets.
namespace i18n {

class TextTarget {
 public:
  virtual void UpdateTexts() = 0;

 protected:
  ~TextTarget() = default;
};

}  // namespace i18n
