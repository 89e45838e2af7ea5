package quillmere.posewarden;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import java.util.concurrent.TimeUnit;

/**
 * The rendered test sequence (system property vantorel.sequence) and what the tests build on it:
 * configuration folders of their own, the poses they write, and child JVMs whose console output
 * can be read (the library prints on file descriptors 1 and 2, beyond System.out's reach).
 */
final class TestSequence {
    private TestSequence() {}

    static Path folder() {
        String folder = System.getProperty("vantorel.sequence");
        if (folder == null) throw new IllegalStateException("run with -Dvantorel.sequence=FOLDER");
        return Path.of(folder);
    }

    /**
     * A configuration folder in {@code directory} replaying the rendered sequence for
     * {@code totalFrames} grabs (back and forth over its files), writing poses.txt and
     * results.txt there. Returns the folder with a trailing separator.
     */
    static String configure(Path directory, int totalFrames) throws IOException {
        Path sequence = folder();
        List<String> camera = new ArrayList<>();
        for (String line : Files.readAllLines(sequence.resolve("camera-xyz.cfg"), StandardCharsets.UTF_8))
            if (!line.startsWith("TOTAL_FRAME:")) camera.add(line);
        camera.add("TOTAL_FRAME: " + totalFrames);
        Files.write(directory.resolve("camera.cfg"), camera, StandardCharsets.UTF_8);
        Files.writeString(directory.resolve("Param.cfg"), "CAMERA_TYPE: FILES\nCONFIG_FILENAME: "
                + directory.resolve("camera.cfg") + "\nMAX_FRAMES: 100\n");
        Files.copy(sequence.resolve("ParamInit.cfg"), directory.resolve("ParamInit.cfg"));
        Files.writeString(directory.resolve("ParamTrackerZBCCE.cfg"), "RESULTS_FILE: "
                + directory.resolve("results.txt") + "\nPOSES_FILE: " + directory.resolve("poses.txt")
                + "\nMATCH_FUNCTION: MATCH_PREVIOUS\nMERGE_POSE: POSE_FIRST\n");
        return HeadPoseTracker.configDirectory(directory.toString());
    }

    /** The poses file's lines as {t1, t2, t3, r1, r2, r3}. */
    static List<double[]> readPoses(Path file) throws IOException {
        List<double[]> poses = new ArrayList<>();
        for (String line : Files.readAllLines(file, StandardCharsets.UTF_8)) {
            String[] fields = line.trim().split("\\s+");
            if (fields.length != 6) throw new IOException("not a pose line: " + line);
            double[] pose = new double[6];
            for (int k = 0; k < 6; ++k) pose[k] = Double.parseDouble(fields[k]);
            poses.add(pose);
        }
        return poses;
    }

    /** R of a rotation vector (Rodrigues), by rows. */
    static double[][] rotationOf(double r1, double r2, double r3) {
        double angle = Math.sqrt(r1 * r1 + r2 * r2 + r3 * r3);
        double[][] rotation = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
        if (angle == 0.0) return rotation;
        double[] n = {r1 / angle, r2 / angle, r3 / angle};
        double c = Math.cos(angle), s = Math.sin(angle);
        double[][] cross = {{0, -n[2], n[1]}, {n[2], 0, -n[0]}, {-n[1], n[0], 0}};
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                rotation[i][j] = c * (i == j ? 1 : 0) + s * cross[i][j] + (1 - c) * n[i] * n[j];
        return rotation;
    }

    /** Largest difference between the pose's (R, t) and a poses-file line's. */
    static double distance(HeadPose pose, double[] line) {
        double[][] expected = rotationOf(line[3], line[4], line[5]);
        double[][] actual = pose.rotation();
        double worst = 0.0;
        for (int i = 0; i < 3; ++i) {
            worst = Math.max(worst, Math.abs(pose.translation()[i] - line[i]) / (1.0 + Math.abs(line[i])));
            for (int j = 0; j < 3; ++j) worst = Math.max(worst, Math.abs(actual[i][j] - expected[i][j]));
        }
        return worst;
    }

    static final class ChildOutput {
        final int exitCode;
        final String stdout;
        final String stderr;

        ChildOutput(int exitCode, String stdout, String stderr) {
            this.exitCode = exitCode;
            this.stdout = stdout;
            this.stderr = stderr;
        }

        long countLines(String prefix) {
            return stdout.lines().filter(line -> line.startsWith(prefix)).count();
        }
    }

    /** Runs mainClass in a new JVM with this library path and the test class path. */
    static ChildOutput runJavaWithLibraryPath(Path workDirectory, String libraryPath, String mainClass,
            String... arguments)
            throws IOException, InterruptedException {
        ChildOutput output = run(300, workDirectory, libraryPath, mainClass, arguments);
        if (output == null) throw new IOException("child JVM did not finish: " + mainClass);
        return output;
    }

    /**
     * Runs mainClass in a new JVM like {@link #runJava}, but gives it at most {@code seconds}:
     * null when it had to be killed.
     */
    static ChildOutput runJavaWithin(int seconds, Path workDirectory, String mainClass, String... arguments)
            throws IOException, InterruptedException {
        return run(seconds, workDirectory, System.getProperty("java.library.path"), mainClass, arguments);
    }

    private static ChildOutput run(int seconds, Path workDirectory, String libraryPath, String mainClass,
            String... arguments)
            throws IOException, InterruptedException {
        String java = Path.of(System.getProperty("java.home"), "bin", "java").toString();
        String classPath = System.getProperty("vantorel.classpath", System.getProperty("java.class.path"));
        List<String> command = new ArrayList<>(List.of(java, "-Djava.library.path=" + libraryPath, "-cp", classPath,
                mainClass));
        command.addAll(List.of(arguments));
        Path out = workDirectory.resolve("child-stdout.txt");
        Path err = workDirectory.resolve("child-stderr.txt");
        Process process = new ProcessBuilder(command).redirectOutput(out.toFile()).redirectError(err.toFile()).start();
        if (!process.waitFor(seconds, TimeUnit.SECONDS)) {
            process.destroyForcibly().waitFor();
            return null;
        }
        return new ChildOutput(process.exitValue(), Files.readString(out, StandardCharsets.ISO_8859_1),
                Files.readString(err, StandardCharsets.ISO_8859_1));
    }

    static ChildOutput runJava(Path workDirectory, String mainClass, String... arguments)
            throws IOException, InterruptedException {
        return runJavaWithLibraryPath(workDirectory, System.getProperty("java.library.path"), mainClass, arguments);
    }
}
