#include "offers/OfferPicture.h"

#include <utility>

#include "win32/ImageDecoder.h"

void OfferPicture::Slot::Store(std::vector<char> bytes) {
  if (bytes.empty()) return;
  std::lock_guard lock(m_mutex);
  m_bytes = std::move(bytes);
}

std::vector<char> OfferPicture::Slot::Take() {
  std::lock_guard lock(m_mutex);
  return std::exchange(m_bytes, {});
}

std::shared_ptr<Gdiplus::Bitmap> OfferPicture::Decode() {
  const std::vector<char> bytes = m_slot->Take();
  return bytes.empty() ? nullptr : win32::DecodeImage(bytes);
}
