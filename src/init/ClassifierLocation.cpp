#include "init/ClassifierLocation.h"

#include <dlfcn.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

#ifndef VANTOREL_INSTALLED_CLASSIFIER
// The classifier's folder relative to the library's, as the install step lays them out.
#define VANTOREL_INSTALLED_CLASSIFIER "../share/vantorel/classifier"
#endif

namespace facedetect {

const char* const kFixedClassifierPath = "E:\\Classifier\\Classifier.txt";

namespace {

const char kClassifierFile[] = "Classifier.txt";

bool Opens(const std::string& path) { return std::ifstream(path).is_open(); }

std::string Readable(const std::filesystem::path& path) { return path.lexically_normal().string(); }

}  // namespace

ClassifierSearch SearchClassifier(const char* configured, const std::string& libraryFolder,
                                  const std::string& installedRelative) {
    ClassifierSearch search;
    if (configured && *configured) {
        // Named on purpose: a wrong name must show, not be covered by another classifier.
        search.path = configured;
        search.tried.push_back(search.path);
        search.found = true;
        return search;
    }
    search.tried.push_back("VANTOREL_CLASSIFIER (not set)");
    std::vector<std::string> candidates{kFixedClassifierPath};
    if (!libraryFolder.empty()) {
        const std::filesystem::path folder(libraryFolder);
        candidates.push_back(Readable(folder / "classifier" / kClassifierFile));
        if (!installedRelative.empty()) candidates.push_back(Readable(folder / installedRelative / kClassifierFile));
    }
    for (const std::string& candidate : candidates) {
        search.tried.push_back(candidate);
        if (!search.found && Opens(candidate)) {
            search.path = candidate;
            search.found = true;
        }
    }
    if (!search.found) search.path = kFixedClassifierPath;
    return search;
}

std::string NotFoundMessage(const ClassifierSearch& search) {
    std::string message = "Error: no face classifier found, so no face can be detected; looked for";
    for (std::size_t k = 0; k < search.tried.size(); ++k) message += (k == 0 ? " " : ", ") + search.tried[k];
    return message + "\n";
}

std::string LibraryFolder() {
    static const char marker = 0;
    Dl_info info{};
    if (!dladdr(&marker, &info) || !info.dli_fname || !*info.dli_fname) return {};
    std::error_code error;
    const std::filesystem::path library = std::filesystem::absolute(info.dli_fname, error);
    return error ? std::string() : library.parent_path().string();
}

std::string LocateClassifier() {
    static std::atomic<bool> reported{false};
    const ClassifierSearch search =
        SearchClassifier(std::getenv("VANTOREL_CLASSIFIER"), LibraryFolder(), VANTOREL_INSTALLED_CLASSIFIER);
    if (!search.found && !reported.exchange(true)) {
        std::fputs(NotFoundMessage(search).c_str(), stderr);
        std::fflush(stderr);
    }
    return search.path;
}

}  // namespace facedetect
