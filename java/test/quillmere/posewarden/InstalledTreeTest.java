package quillmere.posewarden;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.List;

import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

/** The tree cmake --install lays out, used the two ways a Java user would. */
class InstalledTreeTest {
    private static TestSequence.ChildOutput run(Path folder, String... command) throws Exception {
        Process process = new ProcessBuilder(command).directory(folder.toFile()).redirectErrorStream(true).start();
        String output = new String(process.getInputStream().readAllBytes(), StandardCharsets.UTF_8);
        return new TestSequence.ChildOutput(process.waitFor(), output, output);
    }

    @Test
    void theInstalledJarAndTheInstalledLibraryBothRunTheExampleProgram(@TempDir Path dir) throws Exception {
        Path prefix = dir.resolve("prefix");
        TestSequence.ChildOutput install = run(dir, CleanJvm.property("vantorel.cmake"), "--install",
                CleanJvm.property("vantorel.build"), "--prefix", prefix.toString());
        assertEquals(0, install.exitCode, install.stdout);

        Path jar = prefix.resolve("share/java/vantorel.jar");
        Path library = prefix.resolve("lib/libVantorel.so");
        Path classifier = prefix.resolve("share/vantorel/classifier");
        Path example = prefix.resolve("share/doc/vantorel/TrackHead.java");
        for (Path file : List.of(jar, library, classifier.resolve("Classifier.txt"), example,
                prefix.resolve("share/doc/vantorel/README")))
            assertTrue(Files.isRegularFile(file), file + " was not installed");
        for (String stage : Files.readString(classifier.resolve("Classifier.txt")).trim().split("\\s+"))
            assertTrue(stage.matches("\\d+") || Files.isRegularFile(classifier.resolve(stage)), stage);

        TestSequence.ChildOutput dynamic = run(dir, "readelf", "--dynamic", library.toString());
        assertEquals(0, dynamic.exitCode, dynamic.stdout);
        assertFalse(dynamic.stdout.contains("RPATH") || dynamic.stdout.contains("RUNPATH"), dynamic.stdout);

        Path config = TrackedHead.configure(dir.resolve("config"));
        TestSequence.ChildOutput fromJar = new CleanJvm(Files.createDirectory(dir.resolve("jar")), jar.toString())
                .run(example.toString(), config.toString());
        assertEquals(0, fromJar.exitCode, fromJar.stderr);
        TrackedHead.assertFollowsTheHead(config, fromJar.stdout);

        // With its folder on java.library.path the installed library is the one loaded, and it must
        // find the installed classifier by itself.
        TestSequence.ChildOutput fromLibrary = new CleanJvm(Files.createDirectory(dir.resolve("lib")), jar.toString(),
                "-Djava.library.path=" + library.getParent()).run(example.toString(), config.toString());
        assertEquals(0, fromLibrary.exitCode, fromLibrary.stderr);
        TrackedHead.assertFollowsTheHead(config, fromLibrary.stdout);
    }
}
