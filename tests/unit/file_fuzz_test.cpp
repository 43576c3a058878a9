// Random and mutated files of every format through identification and
// loading: always a defined answer, never a crash or a byte outside the image.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "api/session.h"
#include "core/errors.h"
#include "image/file_loader.h"
#include "image/file_access.h"
#include "image/file_text.h"
#include "image/format_registry.h"
#include "image/hex_list.h"
#include "image/image_store.h"
#include "image/line_range.h"
#include "image/text_lines.h"
#include "support/test_files.h"
#include "zylisp.h"

using namespace zylisp;

namespace {

class TFuzzer {
 public:
  explicit TFuzzer(uint32_t seed) : rng_(seed) {}

  uint32_t Below(uint32_t n) { return n == 0 ? 0 : static_cast<uint32_t>(rng_() % n); }
  bool OneIn(uint32_t n) { return Below(n) == 0; }

  THexList RandomImage(int32_t size) {
    THexList image;
    image.SetSize(size);
    const uint32_t fill = Below(4);  // blank, sparse, half, dense
    for (int32_t a = 0; a < size; ++a) {
      if (fill != 0 && Below(4) < fill) image.SetValue(static_cast<uint32_t>(a), static_cast<uint8_t>(rng_()));
    }
    return image;
  }

  // A well-formed file of a random format, written by our own writers or
  // taken from a few hand-made ones in the forms other tools write.
  std::string ValidText() {
    static const char* const kOthers[] = {
        ":020000021000EC\r\n:0100100012DD\r\n:0400000500000010E7\r\n:00000001FF\r\n",
        "S00600004844521B\r\nS2060100001234B2\r\nS5030001FB\r\nS804000000FB\r\n",
        "S307000001001234B1\r\nS70500000000FA\r\n",
        "%1A3xx symbols\r\n%14628800000000123456\r\n%0E81F800000010\r\n",
        "000008:1234\r\n000009:5678\r\n",
        "\r\n\r\n",
    };
    if (OneIn(5)) return kOthers[Below(sizeof kOthers / sizeof kOthers[0])];
    const int32_t sizes[] = {16, 64, 256, 1024};
    const THexList image = RandomImage(sizes[Below(4)]);
    const int32_t format = static_cast<int32_t>(1 + Below(10));
    TLines lines;
    lines = WrittenLines(*FamilyOfFormat(format), image, format);
    return JoinLines(lines);
  }

  char RandomChar() {
    static const char kChars[] = "0123456789ABCDEFabcdef:S/%\r\n \x00\xff\x80G";
    if (OneIn(4)) return static_cast<char>(rng_());
    return kChars[Below(sizeof kChars - 1)];
  }

  std::string Mutate(std::string text) {
    const uint32_t rounds = 1 + Below(4);
    for (uint32_t r = 0; r < rounds && !text.empty(); ++r) {
      const std::size_t pos = Below(static_cast<uint32_t>(text.size()));
      switch (Below(9)) {
        case 0:  // truncate the file
          text.resize(pos);
          break;
        case 1:  // change one character
          text[pos] = RandomChar();
          break;
        case 2:  // drop a stretch
          text.erase(pos, Below(12));
          break;
        case 3:  // insert characters
          text.insert(pos, std::string(1 + Below(6), RandomChar()));
          break;
        case 4:  // huge counts and addresses
          text.insert(pos, OneIn(2) ? "FF" : "FFFFFFFF");
          break;
        case 5:  // a line of binary noise
          text.insert(pos, Noise(1 + Below(40)) + "\n");
          break;
        case 6:  // repeat a stretch
          text.insert(pos, text.substr(Below(static_cast<uint32_t>(text.size())), Below(40)));
          break;
        case 7:  // lower case
          for (std::size_t i = pos; i < text.size() && i < pos + 20; ++i) {
            if (text[i] >= 'A' && text[i] <= 'F') text[i] = static_cast<char>(text[i] + 32);
          }
          break;
        default:  // lose a line break
          if (const std::size_t nl = text.find('\n', pos); nl != std::string::npos) text.erase(nl, 1);
          break;
      }
    }
    return text;
  }

  std::string Noise(std::size_t n) {
    std::string s(n, '\0');
    for (char& c : s) c = static_cast<char>(rng_());
    return s;
  }

  std::string Sample() {
    switch (Below(5)) {
      case 0:
        return Noise(Below(600));
      case 1:
        return ValidText();
      default:
        return Mutate(ValidText());
    }
  }

 private:
  std::mt19937 rng_;
};

bool DefinedIdentification(int32_t id) { return id == -2 || (id >= 0 && id <= 10); }

}  // namespace

TEST(FileFuzz, IdentificationAndLoadingAlwaysGiveADefinedAnswer) {
  TFuzzer fuzz(20240517);
  const int32_t sizes[] = {0, 16, 256, 2048};
  for (int i = 0; i < 3000; ++i) {
    const std::string text = fuzz.Sample();
    SCOPED_TRACE("sample " + std::to_string(i));
    const testing_support::TempDir dir;
    const std::string file = dir.File("data");
    testing_support::WriteFile(file, text);
    const int32_t id = TFileLoader::IdentifyFile(file);
    ASSERT_TRUE(DefinedIdentification(id)) << id;

    THexList image;
    image.SetSize(sizes[fuzz.Below(4)]);
    int32_t loaded = 0;
    try {
      loaded = TFileLoader::LoadHexFile(file, image);
    } catch (const EDamagedFile&) {
      ASSERT_GT(id, 0) << "damaged lines are those of a format";
    }
    ASSERT_TRUE(loaded == 0 || loaded == -1) << loaded;
    if (id <= 0) {
      // Nothing is read from an unknown file.
      for (int32_t a = 0; a < image.Size(); ++a) ASSERT_EQ(image.GetValue(static_cast<uint32_t>(a)), 0xFF);
    }

    // Every reader copes with lines it was not meant for: at most the
    // store's refusal of a byte comes out.
    for (const TFormatFamily& family : FormatFamilies()) {
      for (int32_t format = family.FirstFormat; format <= family.LastFormat; ++format) {
        try {
          const TDataFile data(file);
          TImageStore store(&image);
          ReadFamilyLines(family, TLineRange(TFileText(data, TTextEncoding::kBytes)), store, format);
        } catch (const EZylError&) {
        }
      }
    }
  }
}

TEST(FileFuzz, FilesThroughTheExports) {
  TFuzzer fuzz(77);
  testing_support::TempDir dir;
  ResetSession();
  ASSERT_EQ(Zyl_SetDevice("24C02"), 0);
  ASSERT_EQ(Zyl_SetMode(2), 0);
  ASSERT_EQ(Zyl_SetPort(1), 0);
  const std::string file = dir.File("sample");
  for (int i = 0; i < 150; ++i) {
    SCOPED_TRACE("sample " + std::to_string(i));
    std::string text = fuzz.Sample();
    if (fuzz.OneIn(8)) text = std::string(fuzz.Below(600), "0123456789abcdefABCDEF"[fuzz.Below(22)]);
    testing_support::WriteFile(file, text);
    const int32_t id = Zyl_IdentifyFile(file.c_str());
    ASSERT_TRUE(id >= 1 && id <= 10) << id;
    const int32_t loaded = Zyl_LoadBuffer(1, file.c_str());
    ASSERT_TRUE(loaded == 0 || loaded == 1 || loaded == 6) << loaded;
    const auto format = static_cast<uint8_t>(fuzz.Below(12));
    const int32_t saved = Zyl_SaveBuffer(1, dir.File("out").c_str(), format);
    ASSERT_EQ(saved, format >= 1 && format <= 10 ? 0 : 1) << int(format);
  }
  ResetSession();
}

TEST(FileFuzz, WrittenFilesLoadBackAsTheSameImage) {
  TFuzzer fuzz(4242);
  const int32_t sizes[] = {16, 256, 4096, 65536, 131072};
  for (int i = 0; i < 40; ++i) {
    const int32_t size = sizes[fuzz.Below(5)];
    const THexList image = fuzz.RandomImage(size);
    const int32_t formats[] = {1, 4, 7, 8, 9, 10};
    const int32_t format = formats[fuzz.Below(6)];
    SCOPED_TRACE("image " + std::to_string(i) + " format " + std::to_string(format));
    TLines lines;
    try {
      lines = WrittenLines(*FamilyOfFormat(format), image, format);
    } catch (const EISPException&) {
      ASSERT_TRUE(format == 8 || format == 10);
      ASSERT_GT(image.LastUsedAddress(), 0xFFFF);
      continue;
    }
    THexList back;
    back.SetSize(size);
    const testing_support::TempDir dir;
    testing_support::WriteFile(dir.File("data"), JoinLines(lines));
    ASSERT_EQ(TFileLoader::LoadHexFile(dir.File("data"), back), 0);
    ASSERT_TRUE(std::equal(image.Data(), image.Data() + size, back.Data()));
  }
}
