#pragma once
// What one run decides and its pages share: the main product, the offers shown and accepted, and
// the product's logo. The main dialog owns it; pages hold a reference.
#include <memory>
#include <vector>

namespace Gdiplus {
class Image;
}
class Package;

struct RunState {
  std::shared_ptr<Package> mainPackage;
  std::vector<std::shared_ptr<Package>> acceptedOffers;
  std::vector<std::shared_ptr<Package>> shownOffers;
  // Made, drawn and freed on the UI thread only; the dialog frees it before GDI+ shuts down.
  std::shared_ptr<Gdiplus::Image> productLogo;
};
