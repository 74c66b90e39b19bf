#include "config/Hashing.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Sha256, KnownAnswers) {
  EXPECT_EQ(config::Sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(config::Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(config::Sha256Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(config::Sha256Hex("abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnop"
                              "qrlmnopqrsmnopqrstnopqrstu"),
            "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1");
  EXPECT_EQ(config::Sha256Hex(std::string(1000000, 'a')),
            "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

// The padding needs a second block from 56 bytes on; the edges are where it goes wrong.
TEST(Sha256, PaddingBoundaries) {
  EXPECT_EQ(config::Sha256Hex(std::string(55, 'a')),
            "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318");
  EXPECT_EQ(config::Sha256Hex(std::string(56, 'a')),
            "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a");
  EXPECT_EQ(config::Sha256Hex(std::string(63, 'a')),
            "7d3e74a05d7db15bce4ad9ec0658ea98e3f06eeecf16b4c6fff2da457ddc2f34");
  EXPECT_EQ(config::Sha256Hex(std::string(64, 'a')),
            "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb");
  EXPECT_EQ(config::Sha256Hex(std::string(119, 'a')),
            "31eba51c313a5c08226adf18d4a359cfdfd8d2e816b13f4af952f7ea6584dcfb");
  EXPECT_EQ(config::Sha256Hex(std::string(120, 'a')),
            "2f3d335432c70b580af0e8e1b3674a7c020d683aa5f73aaaedfdc55af904c21c");
}

TEST(Md5, ThroughCryptoApi) {
  EXPECT_EQ(config::Md5Hex(L"abc"), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(config::Md5Hex(L""), "d41d8cd98f00b204e9800998ecf8427e");
}

TEST(Base62, Encoding) {
  EXPECT_EQ(config::Base62Encode("abc"), "qMin");
  EXPECT_EQ(config::Base62Encode(std::string("\0\1", 2)), "1");
  EXPECT_EQ(config::Base62Encode(std::string("\0", 1)), "");
  EXPECT_EQ(config::Base62Encode(std::string("\0\0\0", 3)), "");
  EXPECT_EQ(config::Base62Encode(""), "");
  EXPECT_EQ(config::Base62Encode("\x3d"), "Z");   // 61
  EXPECT_EQ(config::Base62Encode("\x3e"), "10");  // 62
  // 2^64 - 1 in base 62, a value whose digits use the whole buffer.
  EXPECT_EQ(config::Base62Encode(std::string(8, '\xff')), "lYGhA16ahyf");
}

}  // namespace
