#pragma once
// An offer's picture on its way to the page: the fetched bytes arrive on a download thread and
// are decoded on the UI thread only, so no GDI+ object is ever made or freed elsewhere.
#include <memory>
#include <mutex>
#include <vector>

#include "win32/Threads.h"

namespace Gdiplus {
class Bitmap;
}

class OfferPicture {
 public:
  // Where a fetch puts the bytes. A fetch holds the slot alone, never the package, so one that
  // ends after the package is gone touches nothing freed.
  class Slot {
   public:
    // Any thread; empty bytes keep nothing.
    void Store(std::vector<char> bytes);
    std::vector<char> Take();

   private:
    win32::Mutex m_mutex;
    std::vector<char> m_bytes;
  };

  std::shared_ptr<Slot> GetSlot() const { return m_slot; }
  // UI thread only: the stored bytes as a picture; empty when there are none or they are refused.
  std::shared_ptr<Gdiplus::Bitmap> Decode();

 private:
  std::shared_ptr<Slot> m_slot = std::make_shared<Slot>();
};
