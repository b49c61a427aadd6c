// The PE reader against real libraries of both bitnesses (tests/pe/SampleLibrary.c, built by
// the host's mingw-w64 compilers) and against damaged copies of them: truncated, with sizes and
// counts that lie, with tables pointing outside the file, and files that are no PE at all.

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "CoreTestSupport.h"
#include "kdx/platform/PeImage.h"

using kdx::platform::ParsePeImage;
using kdx::platform::PeImage;
using kdx::platform::ReadPeImage;

namespace {

using Bytes = std::vector<std::uint8_t>;

std::string HostPath(const char* path) {
#ifdef _WIN32
  return std::string("Z:") + path;  // Wine maps the build machine's root to drive Z:
#else
  return path;
#endif
}

Bytes Load(const char* path) {
  const std::string text = kdx::test::ReadFile(HostPath(path));
  EXPECT_NE(text, "<missing>") << path;
  return Bytes(text.begin(), text.end());
}

std::uint32_t Get32(const Bytes& b, std::size_t at) {
  std::uint32_t v = 0;
  std::memcpy(&v, b.data() + at, 4);
  return v;
}
void Put32(Bytes& b, std::size_t at, std::uint32_t v) {
  std::memcpy(b.data() + at, &v, 4);
}
void Put16(Bytes& b, std::size_t at, std::uint16_t v) {
  std::memcpy(b.data() + at, &v, 2);
}

// Offsets of the structures in a well-formed image, found the way the reader finds them.
struct Layout {
  std::size_t coff = 0;         // COFF header
  std::size_t directories = 0;  // first data directory
  std::size_t sections = 0;     // first section header
  std::size_t exportFile = 0;   // export directory in the file
  std::size_t exportEnd = 0;    // end of the raw data of the export directory's section
};

Layout Find(const Bytes& b) {
  Layout l;
  l.coff = Get32(b, 0x3c) + 4;
  const std::uint16_t optionalSize = b[l.coff + 16] | (b[l.coff + 17] << 8);
  const std::size_t optional = l.coff + 20;
  const bool plus = (b[optional] | (b[optional + 1] << 8)) == 0x20b;
  l.directories = optional + (plus ? 112 : 96);
  l.sections = optional + optionalSize;
  const std::uint32_t rva = Get32(b, l.directories);
  const std::uint16_t count = b[l.coff + 2] | (b[l.coff + 3] << 8);
  for (std::uint16_t i = 0; i < count; ++i) {
    const std::size_t h = l.sections + i * 40u;
    const std::uint32_t va = Get32(b, h + 12), vsize = Get32(b, h + 8);
    if (rva >= va && rva < va + vsize) {
      l.exportFile = Get32(b, h + 20) + (rva - va);
      l.exportEnd = Get32(b, h + 20) + Get32(b, h + 16);
    }
  }
  return l;
}

const char* const kSampleNames[] = {"SampleFirst", "SampleSecond", "SampleData", "SampleForward"};

class PeImageTest : public ::testing::TestWithParam<int> {
 protected:
  // 64: the x86_64 sample, 32: the i686 one.
  const char* Path() const { return GetParam() == 64 ? KDX_PE_SAMPLE_X64 : KDX_PE_SAMPLE_I686; }
  Bytes sample_ = Load(Path());
};

}  // namespace

TEST_P(PeImageTest, RealLibraryGivesItsMachineAndExports) {
  const auto image = ParsePeImage(sample_);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->machine,
            GetParam() == 64 ? kdx::platform::kPeMachineAmd64 : kdx::platform::kPeMachineI386);
  EXPECT_EQ(image->pe32Plus, GetParam() == 64);
  EXPECT_TRUE(image->dll);
  // Sorted by the linker; the 32-bit names are the undecorated ones of the .def file; the
  // ordinal-only export has no name.
  EXPECT_EQ(image->exportNames, (std::vector<std::string>{"SampleData", "SampleFirst",
                                                          "SampleForward", "SampleSecond"}));
  EXPECT_TRUE(image->ExportsAll(kSampleNames, 4));
  const char* const withMissing[] = {"SampleFirst", "SampleHidden"};
  EXPECT_FALSE(image->ExportsAll(withMissing, 2));
  const char* const wrongCase[] = {"samplefirst"};
  EXPECT_FALSE(image->ExportsAll(wrongCase, 1)) << "names compare as GetProcAddress compares";

  const auto read = ReadPeImage(HostPath(Path()));
  ASSERT_TRUE(read);
  EXPECT_EQ(read->exportNames, image->exportNames);
}

TEST_P(PeImageTest, TruncatedCopiesNeverClaimTheExports) {
  const Layout l = Find(sample_);
  ASSERT_GT(l.exportEnd, l.exportFile);
  for (std::size_t size = 0; size < sample_.size(); ++size) {
    const Bytes cut(sample_.begin(), sample_.begin() + static_cast<std::ptrdiff_t>(size));
    const auto image = ParsePeImage(cut);
    if (size < l.exportEnd) {
      EXPECT_FALSE(image && image->ExportsAll(kSampleNames, 4)) << "cut at " << size;
    }
    if (size < l.sections) {
      EXPECT_FALSE(image) << "cut inside the headers at " << size;
    }
  }
}

TEST_P(PeImageTest, LyingHeadersAreRefused) {
  const Layout l = Find(sample_);
  struct Case {
    const char* what;
    void (*change)(Bytes&, const Layout&);
  };
  const Case cases[] = {
      {"signature offset past the end",
       [](Bytes& b, const Layout&) { Put32(b, 0x3c, 0xfffffff0); }},
      {"signature damaged", [](Bytes& b, const Layout& l) { b[l.coff - 3] = 'X'; }},
      {"section count beyond the loader's limit",
       [](Bytes& b, const Layout& l) { Put16(b, l.coff + 2, 0xffff); }},
      {"section table past the end",
       [](Bytes& b, const Layout& l) {
         Put16(b, l.coff + 16, static_cast<std::uint16_t>(b.size() - (l.coff + 20) - 20));
       }},
      {"optional header past the end",
       [](Bytes& b, const Layout& l) { Put16(b, l.coff + 16, 0xfff0); }},
      {"unknown optional header", [](Bytes& b, const Layout& l) { Put16(b, l.coff + 20, 0x107); }},
      {"machine of the other bitness than the header",
       [](Bytes& b, const Layout& l) { Put16(b, l.coff, b[l.coff] == 0x4c ? 0x8664 : 0x014c); }},
      {"export table in no section",
       [](Bytes& b, const Layout& l) { Put32(b, l.directories, 0x7ffffff0); }},
      {"name count overflow",
       [](Bytes& b, const Layout& l) { Put32(b, l.exportFile + 24, 0xffffffff); }},
      {"function count smaller than an ordinal",
       [](Bytes& b, const Layout& l) { Put32(b, l.exportFile + 20, 1); }},
      {"name table outside the sections",
       [](Bytes& b, const Layout& l) { Put32(b, l.exportFile + 32, 0xfffffff0); }},
      {"ordinal table outside the sections",
       [](Bytes& b, const Layout& l) { Put32(b, l.exportFile + 36, 0x10); }},
      {"section data past the end of the file",
       [](Bytes& b, const Layout& l) {
         for (std::size_t h = l.sections; h + 40 <= b.size() && b[h] == '.'; h += 40)
           Put32(b, h + 16, 0x7fff0000);
       }},
  };
  for (const Case& c : cases) {
    Bytes damaged = sample_;
    c.change(damaged, l);
    EXPECT_FALSE(ParsePeImage(damaged)) << c.what;
  }
  // A name that runs to the end of its section without a terminating zero.
  Bytes unterminated = sample_;
  const std::uint32_t namesRva = Get32(unterminated, l.exportFile + 32);
  const std::uint32_t exportRva = Get32(unterminated, l.directories);
  const std::size_t namesFile = l.exportFile + (namesRva - exportRva);
  const std::size_t lastName = l.exportFile + (Get32(unterminated, namesFile + 12) - exportRva);
  std::memset(unterminated.data() + lastName, 'A', l.exportEnd - lastName);
  EXPECT_FALSE(ParsePeImage(unterminated)) << "unterminated name";
}

INSTANTIATE_TEST_SUITE_P(BothBitnesses, PeImageTest, ::testing::Values(64, 32),
                         [](const auto& info) { return std::to_string(info.param) + "bit"; });

TEST(PeImage, FilesThatAreNoPeImage) {
  EXPECT_FALSE(ParsePeImage({}));
  const std::string text = "MZ is how it starts, but this is a text file of some length....\n";
  EXPECT_FALSE(
      ParsePeImage(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size())));
  Bytes dosOnly(0x40, 0);
  dosOnly[0] = 'M';
  dosOnly[1] = 'Z';
  EXPECT_FALSE(ParsePeImage(dosOnly)) << "a DOS program without a PE header";

  kdx::test::TempDir dir;
  EXPECT_FALSE(ReadPeImage(dir / "absent.dll"));
  EXPECT_FALSE(ReadPeImage(dir.Path())) << "a folder";
  EXPECT_FALSE(ReadPeImage(dir.WriteFile("empty.dll", "")));
}

TEST(PeImage, OtherBitnessIsTheOtherHalfOfTheProcessorFamily) {
  using namespace kdx::platform;
#if defined(__x86_64__) || defined(_M_X64)
  EXPECT_EQ(OwnPeMachine(), kPeMachineAmd64);
  EXPECT_EQ(OtherBitnessPeMachine(), kPeMachineI386);
#elif defined(__i386__) || defined(_M_IX86)
  EXPECT_EQ(OwnPeMachine(), kPeMachineI386);
  EXPECT_EQ(OtherBitnessPeMachine(), kPeMachineAmd64);
#else
  EXPECT_EQ(OtherBitnessPeMachine(), 0);
#endif
}
