// Where the face detector's classifier file is: the file the environment variable
// VANTOREL_CLASSIFIER names when it is set (used as given, even when it does not open); else the
// fixed path "E:\Classifier\Classifier.txt" when it opens; else the classifier shipped beside
// this library: "classifier/Classifier.txt" in the library's own folder (the build folder, or
// the folder the Java side extracts the jar's copy into) or in the installed data folder
// relative to it. When nothing opens, the fixed path is the answer, so the detector reports it
// the way it reports any classifier that does not open.
#pragma once

#include <string>
#include <vector>

namespace facedetect {

struct ClassifierSearch {
    std::string path;                // the classifier file to load
    std::vector<std::string> tried;  // the places looked at, in order, as the user reads them
    bool found = false;              // whether path opened (or was named by the environment)
};

extern const char* const kFixedClassifierPath;

// configured: the value of VANTOREL_CLASSIFIER (null or empty: unset); libraryFolder: the folder
// of the loaded library (empty: unknown); installedRelative: the installed classifier folder
// relative to the installed library's folder.
ClassifierSearch SearchClassifier(const char* configured, const std::string& libraryFolder,
                                  const std::string& installedRelative);

// The one line telling that no classifier was found and where it was looked for.
std::string NotFoundMessage(const ClassifierSearch& search);

// The folder of the shared library (or program) this code was loaded from; empty when unknown.
std::string LibraryFolder();

// The search for this process's environment and library; the first search that finds nothing
// says so on the standard error stream, later ones stay quiet.
std::string LocateClassifier();

}  // namespace facedetect
