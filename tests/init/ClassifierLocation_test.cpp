#include "init/ClassifierLocation.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "support/FaceTestData.h"

namespace fs = std::filesystem;
using facedetect::kFixedClassifierPath;
using facedetect::SearchClassifier;

namespace {

const std::string kInstalled = "../share/vantorel/classifier";

// A build-like tree: tree/lib holds the library, tree/share/vantorel/classifier the installed
// classifier, tree/lib/classifier the copy beside the library; only the named ones exist.
struct Tree {
    facetest::TempFolder folder;
    explicit Tree(const std::string& name) : folder(name) { fs::create_directories(Lib()); }
    std::string Lib() const { return folder.Path("lib"); }
    std::string Beside() const { return folder.Path("lib/classifier/Classifier.txt"); }
    std::string Installed() const { return folder.Path("share/vantorel/classifier/Classifier.txt"); }
    static void Make(const std::string& file) {
        fs::create_directories(fs::path(file).parent_path());
        std::ofstream(file) << "0\n";
    }
};

// Runs in a folder of its own, so that the relative fixed path is looked for there.
struct InFolder {
    fs::path previous = fs::current_path();
    explicit InFolder(const std::string& folder) { fs::current_path(folder); }
    ~InFolder() { fs::current_path(previous); }
};

TEST(ClassifierLocation, TheEnvironmentWinsEvenOverAnExistingClassifierAndWhenItsFileIsMissing) {
    Tree tree("vantorel-classifier-location-environment");
    Tree::Make(tree.Beside());
    const auto search = SearchClassifier("/nowhere/Classifier.txt", tree.Lib(), kInstalled);
    EXPECT_EQ(search.path, "/nowhere/Classifier.txt");
    EXPECT_TRUE(search.found);
    EXPECT_EQ(SearchClassifier("", tree.Lib(), kInstalled).path, tree.Beside());  // empty means unset
}

TEST(ClassifierLocation, TheFixedPathThenTheCopyBesideTheLibraryThenTheInstalledOne) {
    Tree tree("vantorel-classifier-location-order");
    InFolder here(tree.folder.Path(""));
    Tree::Make(tree.Installed());
    auto search = SearchClassifier(nullptr, tree.Lib(), kInstalled);
    EXPECT_EQ(search.path, fs::path(tree.Installed()).lexically_normal().string());
    EXPECT_TRUE(search.found);

    Tree::Make(tree.Beside());
    EXPECT_EQ(SearchClassifier(nullptr, tree.Lib(), kInstalled).path, tree.Beside());

    std::ofstream(kFixedClassifierPath) << "0\n";  // a file of that name in the working folder
    search = SearchClassifier(nullptr, tree.Lib(), kInstalled);
    EXPECT_EQ(search.path, kFixedClassifierPath);
    EXPECT_TRUE(search.found);
}

TEST(ClassifierLocation, FindingNothingNamesEveryPlaceLookedAtAndKeepsTheFixedPath) {
    Tree tree("vantorel-classifier-location-nothing");
    InFolder here(tree.folder.Path(""));
    const auto search = SearchClassifier(nullptr, tree.Lib(), kInstalled);
    EXPECT_FALSE(search.found);
    EXPECT_EQ(search.path, kFixedClassifierPath);
    EXPECT_EQ(facedetect::NotFoundMessage(search),
              "Error: no face classifier found, so no face can be detected; looked for VANTOREL_CLASSIFIER (not set), " +
                  std::string(kFixedClassifierPath) + ", " + tree.Beside() + ", " +
                  fs::path(tree.Installed()).lexically_normal().string() + "\n");
    // Without a known library folder only the first two places are looked at.
    EXPECT_EQ(SearchClassifier(nullptr, "", kInstalled).tried.size(), 2u);
}

TEST(ClassifierLocation, TheLibraryFolderIsWhereThisCodeWasLoadedFrom) {
    // Linked statically into this test program: its folder.
    EXPECT_TRUE(fs::equivalent(facedetect::LibraryFolder(), fs::read_symlink("/proc/self/exe").parent_path()));
}

TEST(ClassifierLocationDeathTest, SaysOnceThatNothingWasFound) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");  // a fresh process: nothing said yet
    Tree tree("vantorel-classifier-location-once");
    EXPECT_EXIT(
        {
            unsetenv("VANTOREL_CLASSIFIER");
            InFolder here(tree.folder.Path(""));
            ::testing::internal::CaptureStderr();
            const std::string first = facedetect::LocateClassifier();
            const std::string second = facedetect::LocateClassifier();
            const std::string said = ::testing::internal::GetCapturedStderr();
            const auto at = said.find("Error: no face classifier found");
            const bool once = at != std::string::npos && said.find("Error: no face", at + 1) == std::string::npos;
            std::exit(once && first == kFixedClassifierPath && second == first ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
