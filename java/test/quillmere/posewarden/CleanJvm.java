package quillmere.posewarden;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import java.util.Map;
import java.util.concurrent.TimeUnit;

/**
 * A child JVM started the way a new user starts one: a class path, no java.library.path, no
 * VANTOREL_CLASSIFIER, in a working folder of its own. Its output lands in files of that folder.
 */
final class CleanJvm {
    private final Path workFolder;
    private final List<String> command = new ArrayList<>();
    private Process process;

    /** java [options] -cp classPath, run in workFolder; arguments follow with {@link #run}. */
    CleanJvm(Path workFolder, String classPath, String... options) {
        this.workFolder = workFolder;
        command.add(Path.of(System.getProperty("java.home"), "bin", "java").toString());
        command.addAll(List.of(options));
        command.add("-cp");
        command.add(classPath);
    }

    static String property(String name) {
        String value = System.getProperty(name);
        if (value == null) throw new IllegalStateException("run with -D" + name + "=...");
        return value;
    }

    /** Starts the JVM on the main class or source file and its arguments. */
    CleanJvm start(String... mainAndArguments) throws IOException {
        List<String> full = new ArrayList<>(command);
        full.addAll(List.of(mainAndArguments));
        ProcessBuilder builder = new ProcessBuilder(full).directory(workFolder.toFile())
                .redirectOutput(workFolder.resolve("stdout.txt").toFile())
                .redirectError(workFolder.resolve("stderr.txt").toFile());
        Map<String, String> environment = builder.environment();
        environment.remove("VANTOREL_CLASSIFIER");
        environment.remove("LD_LIBRARY_PATH");
        process = builder.start();
        return this;
    }

    /** Waits for the JVM started last. */
    TestSequence.ChildOutput finish() throws IOException, InterruptedException {
        if (!process.waitFor(120, TimeUnit.SECONDS)) {
            process.destroyForcibly();
            throw new IOException("child JVM did not finish: " + command);
        }
        return new TestSequence.ChildOutput(process.exitValue(),
                Files.readString(workFolder.resolve("stdout.txt"), StandardCharsets.ISO_8859_1),
                Files.readString(workFolder.resolve("stderr.txt"), StandardCharsets.ISO_8859_1));
    }

    TestSequence.ChildOutput run(String... mainAndArguments) throws IOException, InterruptedException {
        return start(mainAndArguments).finish();
    }
}
