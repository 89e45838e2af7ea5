package quillmere.posewarden;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNotEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.attribute.PosixFilePermissions;
import java.util.List;
import java.util.stream.Collectors;
import java.util.stream.Stream;

import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

/** vantorel.jar alone on the class path of a new JVM: no java.library.path, no VANTOREL_CLASSIFIER. */
class JarWithoutSetupTest {
    /**
     * Run in a child JVM: loads the library, then prints "loaded FILE" for the library file the
     * process mapped and "extracted FOLDER PERMISSIONS FILE..." for each extraction folder under
     * java.io.tmpdir.
     */
    public static final class LoadReport {
        public static void main(String[] args) throws IOException {
            new HeadPoseTracker();
            try (Stream<String> maps = Files.lines(Path.of("/proc/self/maps"))) {
                maps.filter(line -> line.endsWith("/" + System.mapLibraryName(HeadPoseTracker.LIBRARY_NAME)))
                        .map(line -> "loaded " + line.substring(line.indexOf('/'))).distinct()
                        .forEach(System.out::println);
            }
            try (Stream<Path> folders = Files.list(Path.of(System.getProperty("java.io.tmpdir")))) {
                for (Path folder : folders.filter(f -> f.getFileName().toString().startsWith(NativeFolder.PREFIX))
                        .collect(Collectors.toList())) {
                    StringBuilder line = new StringBuilder("extracted " + folder + " "
                            + PosixFilePermissions.toString(Files.getPosixFilePermissions(folder)));
                    try (Stream<Path> files = Files.walk(folder)) {
                        files.filter(Files::isRegularFile).map(f -> folder.relativize(f).toString()).sorted()
                                .forEach(f -> line.append(' ').append(f));
                    }
                    System.out.println(line);
                }
            }
        }
    }

    private static final String JAR = CleanJvm.property("vantorel.jar");

    private static List<String> lines(String text, String prefix) {
        return text.lines().filter(line -> line.startsWith(prefix)).collect(Collectors.toList());
    }

    private static boolean anyExtractionFolderIn(Path folder) throws IOException {
        try (Stream<Path> entries = Files.list(folder)) {
            return entries.anyMatch(f -> f.getFileName().toString().startsWith(NativeFolder.PREFIX));
        }
    }

    @Test
    void theExampleProgramWithOnlyTheJarFindsAndFollowsTheHeadFromAFolderOutsideTheProject(@TempDir Path dir)
            throws Exception {
        Path config = TrackedHead.configure(dir.resolve("config"));
        Path work = Files.createDirectory(dir.resolve("work"));
        TestSequence.ChildOutput run = new CleanJvm(work, JAR).run(TrackedHead.example().toString(), config.toString());
        assertEquals(0, run.exitCode, run.stderr);
        assertFalse(run.stderr.contains("classifier"), run.stderr);
        TrackedHead.assertFollowsTheHead(config, run.stdout);
    }

    @Test
    void twoJvmsStartingAtOnceEachExtractTheirOwnCopyAndLeaveNothingBehind(@TempDir Path dir) throws Exception {
        Path temporary = Files.createDirectory(dir.resolve("tmp"));
        String tmpdir = "-Djava.io.tmpdir=" + temporary;
        Path config = TrackedHead.configure(dir.resolve("config"));
        Path otherConfig = TrackedHead.configure(dir.resolve("other-config"));
        CleanJvm example = new CleanJvm(Files.createDirectory(dir.resolve("example")), JAR, tmpdir)
                .start(TrackedHead.example().toString(), config.toString());
        // The jar's own main class, the track command's per-frame output.
        CleanJvm track = new CleanJvm(Files.createDirectory(dir.resolve("track")), JAR, tmpdir)
                .start("-jar", JAR, otherConfig.toString(), "--frames", "30");
        TestSequence.ChildOutput first = example.finish(), second = track.finish();

        assertEquals(0, first.exitCode, first.stderr);
        TrackedHead.assertFollowsTheHead(config, first.stdout);
        assertEquals(0, second.exitCode, second.stderr);
        assertEquals(29, lines(second.stdout, "frame ").size(), second.stdout);
        assertEquals(1, lines(second.stdout, "Tracking started: face found in frame ").size(), second.stdout);
        assertFalse(anyExtractionFolderIn(temporary), "an extraction folder outlived its JVM");
    }

    @Test
    void aLibraryOnTheLibraryPathWinsAndOtherwiseTheJarsCopyIsExtractedForThisUserOnly(@TempDir Path dir)
            throws Exception {
        String classPath = CleanJvm.property("vantorel.testJar") + ":" + JAR;
        Path temporary = Files.createDirectory(dir.resolve("tmp"));
        String tmpdir = "-Djava.io.tmpdir=" + temporary;
        Path build = Path.of(CleanJvm.property("vantorel.build")).toRealPath();

        TestSequence.ChildOutput fromJar = new CleanJvm(dir, classPath, tmpdir).run(LoadReport.class.getName());
        assertEquals(0, fromJar.exitCode, fromJar.stderr);
        List<String> extracted = lines(fromJar.stdout, "extracted ");
        assertEquals(1, extracted.size(), fromJar.stdout);
        String[] folder = extracted.get(0).split(" ");
        assertEquals("rwx------", folder[2]);
        List<String> files = List.of(folder).subList(3, folder.length);
        assertTrue(files.contains("libVantorel.so") && files.contains("classifier/Classifier.txt")
                && files.contains("classifier/FrontalFaceStage00.txt"), extracted.get(0));
        Path folderName = Path.of(folder[1]).getFileName();
        assertEquals(List.of("loaded " + temporary.toRealPath().resolve(folderName).resolve("libVantorel.so")),
                lines(fromJar.stdout, "loaded "));
        assertFalse(anyExtractionFolderIn(temporary), "the extraction folder outlived its JVM");

        TestSequence.ChildOutput fromPath = new CleanJvm(dir, classPath, tmpdir, "-Djava.library.path=" + build)
                .run(LoadReport.class.getName());
        assertEquals(0, fromPath.exitCode, fromPath.stderr);
        assertEquals(List.of("loaded " + build.resolve("libVantorel.so")), lines(fromPath.stdout, "loaded "));
        assertEquals(List.of(), lines(fromPath.stdout, "extracted "));
    }

    @Test
    void aMissingLibraryOrALibraryItNeedsIsNamedWithWhatToDo(@TempDir Path dir) throws Exception {
        String classesOnly = CleanJvm.property("vantorel.testJar") + ":" + CleanJvm.property("vantorel.classesJar");
        TestSequence.ChildOutput nowhere = new CleanJvm(dir, classesOnly, "-Djava.library.path=" + dir.resolve("none"))
                .run(LoadReport.class.getName());
        assertNotEquals(0, nowhere.exitCode);
        assertTrue(nowhere.stderr.contains("UnsatisfiedLinkError: cannot load the native library libVantorel.so")
                && nowhere.stderr.contains("vantorel.jar") && nowhere.stderr.contains("-Djava.library.path=FOLDER"),
                nowhere.stderr);

        Path broken = Path.of(CleanJvm.property("vantorel.brokenLibraryPath"));
        TestSequence.ChildOutput missing = new CleanJvm(dir, CleanJvm.property("vantorel.testJar") + ":" + JAR,
                "-Djava.library.path=" + broken).run(LoadReport.class.getName());
        assertNotEquals(0, missing.exitCode);
        assertTrue(missing.stderr.contains("it needs libvantorel_absent_dependency.so, which is not installed")
                && missing.stderr.contains("OpenCV 4") && missing.stderr.contains("LAPACK"), missing.stderr);
    }

    @Test
    void theReadmeShowsTheExampleProgramAndTheCommandThatRunsIt() throws IOException {
        String readme = Files.readString(Path.of(CleanJvm.property("vantorel.source"), "README.md"),
                StandardCharsets.UTF_8);
        String shown = readme.lines().map(String::strip).collect(Collectors.joining("\n"));
        String program = Files.readAllLines(TrackedHead.example(), StandardCharsets.UTF_8).stream().map(String::strip)
                .collect(Collectors.joining("\n"));
        assertTrue(shown.contains(program), "README.md does not show java/examples/TrackHead.java as it is");
        assertTrue(shown.contains("java -cp build/java/vantorel.jar java/examples/TrackHead.java "), "README.md lacks the command");
    }
}
