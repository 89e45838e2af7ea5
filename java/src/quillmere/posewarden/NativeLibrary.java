package quillmere.posewarden;

import java.io.IOException;
import java.io.InputStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.InvalidPathException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import java.util.regex.Matcher;
import java.util.regex.Pattern;

/**
 * Loads the native library for {@link HeadPoseTracker}. A folder on {@code java.library.path}
 * that holds it wins, as with {@link System#loadLibrary}; the library then finds the face
 * classifier beside itself (the build folder, or the installed tree). Otherwise the copy this jar
 * carries is extracted, with the classifier, into a private folder of this JVM
 * ({@link NativeFolder}) and loaded from there. Every failure becomes one
 * {@link UnsatisfiedLinkError} that says what is missing and what to do about it.
 */
final class NativeLibrary {
    /** Where the jar keeps the library and the classifier, relative to this package. */
    static final String RESOURCES = "native/";
    /** The list of the files under {@link #RESOURCES}, one relative name a line. */
    static final String INDEX = "files.txt";

    private static final String DEPENDENCIES = "Vantorel needs OpenCV 4 (core, imgproc, imgcodecs, videoio,"
            + " calib3d), LAPACK and BLAS; on Debian or Ubuntu: apt-get install libopencv-dev liblapack3 libblas3";
    private static final Pattern MISSING = Pattern.compile("([^\\s:/]+): cannot open shared object file");

    private NativeLibrary() {}

    static void load(String name) {
        String fileName = System.mapLibraryName(name);
        Path onLibraryPath = findOnLibraryPath(fileName, System.getProperty("java.library.path", ""));
        if (onLibraryPath != null) {
            try {
                System.loadLibrary(name);
            } catch (UnsatisfiedLinkError cause) {
                throw explained(cause, fileName, onLibraryPath, "");
            }
            return;
        }
        if (NativeLibrary.class.getResource(RESOURCES + fileName) == null) throw notFound(fileName);
        Path extracted;
        try {
            Path folder = NativeFolder.create(Path.of(System.getProperty("java.io.tmpdir")));
            for (String file : index()) {
                try (InputStream in = resource(file)) {
                    NativeFolder.copy(in, folder, file);
                }
            }
            extracted = folder.resolve(fileName);
        } catch (IOException | RuntimeException failed) {
            UnsatisfiedLinkError error = new UnsatisfiedLinkError("cannot extract the native library " + fileName
                    + " from the jar into java.io.tmpdir (" + System.getProperty("java.io.tmpdir") + "): " + failed
                    + "; start Java with -Djava.io.tmpdir=FOLDER naming a writable folder");
            error.initCause(failed);
            throw error;
        }
        try {
            System.load(extracted.toString());
        } catch (UnsatisfiedLinkError cause) {
            throw explained(cause, fileName, extracted, " (extracted from the jar; if java.io.tmpdir does not allow"
                    + " running programs, start Java with -Djava.io.tmpdir=FOLDER naming one that does)");
        }
    }

    /** The first folder of the library path (entries separated as on this system) holding the file. */
    static Path findOnLibraryPath(String fileName, String libraryPath) {
        for (String entry : libraryPath.split(Pattern.quote(java.io.File.pathSeparator), -1)) {
            try {
                Path candidate = Path.of(entry.isEmpty() ? "." : entry, fileName);
                if (Files.isRegularFile(candidate)) return candidate;
            } catch (InvalidPathException unusable) {
                // not a folder of this system: System.loadLibrary would not find it there either
            }
        }
        return null;
    }

    /**
     * The error for a library that exists but does not load: a library it needs that is missing is
     * named, with the packages that bring it.
     */
    static UnsatisfiedLinkError explained(UnsatisfiedLinkError cause, String fileName, Path where, String hint) {
        String loader = String.valueOf(cause.getMessage());
        Matcher missing = MISSING.matcher(loader);
        String dependency = null;
        while (missing.find()) {
            if (!missing.group(1).equals(fileName)) dependency = missing.group(1);
        }
        String message;
        if (dependency != null) {
            message = "cannot load the native library " + where + ": it needs " + dependency
                    + ", which is not installed on this machine. " + DEPENDENCIES;
        } else if (loader.contains("undefined symbol")) {
            message = "cannot load the native library " + where + ": a library it needs is of another version than"
                    + " the one it was built with; rebuild Vantorel on this machine. " + DEPENDENCIES;
        } else {
            message = "cannot load the native library " + where + hint;
        }
        UnsatisfiedLinkError error = new UnsatisfiedLinkError(message + " [" + loader + "]");
        error.initCause(cause);
        return error;
    }

    private static UnsatisfiedLinkError notFound(String fileName) {
        return new UnsatisfiedLinkError("cannot load the native library " + fileName + ": no folder on"
                + " java.library.path holds it (java.library.path is " + System.getProperty("java.library.path")
                + ") and this copy of the Java API carries none. Put build/java/vantorel.jar, which carries it, on"
                + " the class path, or start Java with -Djava.library.path=FOLDER naming the folder that holds it"
                + " (after ./vantorel test: build/)");
    }

    private static List<String> index() throws IOException {
        List<String> files = new ArrayList<>();
        try (InputStream in = resource(INDEX)) {
            for (String line : new String(in.readAllBytes(), StandardCharsets.UTF_8).split("\n")) {
                if (!line.isBlank()) files.add(line.strip());
            }
        }
        return files;
    }

    private static InputStream resource(String file) throws IOException {
        InputStream in = NativeLibrary.class.getResourceAsStream(RESOURCES + file);
        if (in == null) throw new IOException("the jar lacks " + RESOURCES + file);
        return in;
    }
}
