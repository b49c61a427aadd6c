#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kdx/picker/PathFit.h"

using kdx::picker::FitPathToWidth;

namespace {

// A measure of 10 pixels per character that records every candidate it is asked about.
struct RecordingMeasure {
  std::vector<std::string>* seen;
  int operator()(const std::string& text) const {
    seen->push_back(text);
    return static_cast<int>(text.size()) * 10;
  }
};

std::vector<std::string> Candidates(const std::string& path, int limit, char separator,
                                    std::string* shown = nullptr) {
  std::vector<std::string> seen;
  const std::string result = FitPathToWidth(path, limit, RecordingMeasure{&seen}, separator);
  if (shown) *shown = result;
  // The last candidate is not measured when nothing is left to cut; list it all the same.
  if (seen.empty() || seen.back() != result) seen.push_back(result);
  return seen;
}

}  // namespace

TEST(FitPathToWidth, CutsWholeDirectoriesFromTheLeftThenTheDriveThenAllButTheName) {
  std::string shown;
  EXPECT_EQ(Candidates("C:\\Alpha\\Beta\\Gamma", 0, '\\', &shown),
            (std::vector<std::string>{"C:\\Alpha\\Beta\\Gamma", "C:\\...\\Beta\\Gamma",
                                      "C:\\...\\Gamma", "...\\Gamma", "Gamma"}));
  EXPECT_EQ(shown, "Gamma");  // the bare name even though it does not fit

  // The first candidate that fits is shown, the limit itself counting as fitting.
  std::vector<std::string> seen;
  EXPECT_EQ(FitPathToWidth("C:\\Alpha\\Beta\\Gamma", 120, RecordingMeasure{&seen}, '\\'),
            "C:\\...\\Gamma");
  EXPECT_EQ(FitPathToWidth("C:\\Alpha\\Beta\\Gamma", 119, RecordingMeasure{&seen}, '\\'),
            "...\\Gamma");
  EXPECT_EQ(FitPathToWidth("C:\\Alpha\\Beta\\Gamma", 1000, RecordingMeasure{&seen}, '\\'),
            "C:\\Alpha\\Beta\\Gamma");
}

TEST(FitPathToWidth, FolderNamesStartingWithADotAreCutWhole) {
  // Only the "..." marker of an earlier cut is skipped; ".local" is a folder like any other.
  EXPECT_EQ(Candidates("/home/petr/.local/share", 0, '/'),
            (std::vector<std::string>{"/home/petr/.local/share", "/.../petr/.local/share",
                                      "/.../.local/share", "/.../share", ".../share", "share"}));
  EXPECT_EQ(Candidates("C:\\.cfg\\x\\File", 0, '\\'),
            (std::vector<std::string>{"C:\\.cfg\\x\\File", "C:\\...\\x\\File", "C:\\...\\File",
                                      "...\\File", "File"}));
}

TEST(FitPathToWidth, RootsAndShortPaths) {
  // A folder right below a drive root loses drive and separator together: "C:LongName" would
  // name another folder (the drive's current one).
  EXPECT_EQ(Candidates("C:\\LongName", 0, '\\'),
            (std::vector<std::string>{"C:\\LongName", "LongName"}));
  EXPECT_EQ(Candidates("/LongName", 0, '/'), (std::vector<std::string>{"/LongName", "LongName"}));
  // A root has no name to fall back on: it is shown whole rather than cut to nothing.
  std::string shown;
  Candidates("/", 0, '/', &shown);
  EXPECT_EQ(shown, "/");
  Candidates("C:\\", 0, '\\', &shown);
  EXPECT_EQ(shown, "C:\\");
  EXPECT_EQ(Candidates("Name", 0, '\\'), (std::vector<std::string>{"Name"}));
}

TEST(FitPathToWidth, NetworkPathsEndAtTheLastName) {
  std::string shown;
  const auto seen = Candidates("\\\\server\\share\\dir\\File", 0, '\\', &shown);
  EXPECT_EQ(shown, "File");
  EXPECT_EQ(seen.front(), "\\\\server\\share\\dir\\File");
  EXPECT_EQ(seen[seen.size() - 2], "...\\File");
  EXPECT_LT(seen.size(), 10u);
}
