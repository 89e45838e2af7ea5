package quillmere.posewarden.demo;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.Locale;

import quillmere.posewarden.HeadPoseTracker;

/**
 * Times single updateImage calls from Java on a rendered sequence folder, replayed back and forth
 * without end, with the folder's own settings (output files off): while detecting (the face search
 * made never to succeed) and while tracking. Prints median, 10th and 90th
 * percentile in milliseconds.
 *
 * <pre>
 * java -cp vantorel.jar quillmere.posewarden.demo.UpdateBenchmark SEQUENCE_DIR [STEPS]
 * </pre>
 */
public final class UpdateBenchmark {
    public static void main(String[] args) throws IOException {
        if (args.length < 1) {
            System.err.println("usage: UpdateBenchmark SEQUENCE_DIR [STEPS]");
            System.exit(2);
        }
        Path sequence = Path.of(args[0]).toAbsolutePath();
        int steps = args.length > 1 ? Integer.parseInt(args[1]) : 300;
        Path work = Files.createTempDirectory("vantorel-update-benchmark");
        String init = Files.readString(sequence.resolve("ParamInit.cfg"), StandardCharsets.UTF_8);
        String detecting = configure(work.resolve("detecting"), sequence, init + "\nNB_DETECT_BEFORE_INIT: 1000000000\n");
        String tracking = configure(work.resolve("tracking"), sequence, init);

        HeadPoseTracker tracker = new HeadPoseTracker();
        double[] detect = time(tracker, detecting, steps, false);
        double[] track = time(tracker, tracking, steps, true);
        report("updateImage while detecting", detect);
        report("updateImage while tracking", track);
    }

    // The file's lines except those starting with one of the prefixes.
    private static String without(Path file, String... prefixes) throws IOException {
        StringBuilder text = new StringBuilder();
        lines:
        for (String line : Files.readAllLines(file, StandardCharsets.UTF_8)) {
            for (String prefix : prefixes)
                if (line.startsWith(prefix)) continue lines;
            text.append(line).append('\n');
        }
        return text.toString();
    }

    // A configuration folder with the sequence's settings, replaying it without end and writing no
    // output files.
    private static String configure(Path folder, Path sequence, String initSettings) throws IOException {
        Files.createDirectories(folder);
        List<String> camera = new ArrayList<>();
        for (String line : Files.readAllLines(sequence.resolve("camera-xyz.cfg"), StandardCharsets.UTF_8))
            if (!line.startsWith("TOTAL_FRAME:")) camera.add(line);
        camera.add("TOTAL_FRAME: 1000000000");
        Files.write(folder.resolve("camera.cfg"), camera, StandardCharsets.UTF_8);
        Files.writeString(folder.resolve("Param.cfg"), "CONFIG_FILENAME: " + folder.resolve("camera.cfg") + "\n"
                + without(sequence.resolve("Param.cfg"), "CONFIG_FILENAME:"));
        Files.writeString(folder.resolve("ParamInit.cfg"), initSettings);
        Files.writeString(folder.resolve("ParamTrackerZBCCE.cfg"),
                without(sequence.resolve("ParamTrackerZBCCE.cfg"), "RESULTS_FILE:", "POSES_FILE:"));
        return HeadPoseTracker.configDirectory(folder.toString());
    }

    // Milliseconds of the steps whose state before and after is the wanted one, after 20 to warm up.
    private static double[] time(HeadPoseTracker tracker, String config, int steps, boolean wantTracking) {
        tracker.initTracker(config);
        double[] times = new double[steps];
        int kept = 0, warmUp = 20;
        boolean tracking = false;
        for (int guard = 0; kept < steps && guard < 20 * steps; ++guard) {
            boolean before = tracking;
            long start = System.nanoTime();
            tracking = tracker.updateImage();
            long elapsed = System.nanoTime() - start;
            if (before == wantTracking && tracking == wantTracking && warmUp-- <= 0) times[kept++] = elapsed / 1e6;
        }
        tracker.closeTracker();
        return Arrays.copyOf(times, kept);
    }

    private static void report(String what, double[] times) {
        if (times.length == 0) {
            System.out.println(what + ": no step measured");
            return;
        }
        double[] sorted = times.clone();
        Arrays.sort(sorted);
        System.out.println(String.format(Locale.ROOT, "%-30s median %7.2f ms   p10 %7.2f ms   p90 %7.2f ms   (%d calls)",
                what, sorted[sorted.length / 2], sorted[sorted.length / 10], sorted[sorted.length * 9 / 10],
                sorted.length));
    }

    private UpdateBenchmark() {}
}
