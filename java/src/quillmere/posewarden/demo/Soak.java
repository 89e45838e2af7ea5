package quillmere.posewarden.demo;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.StandardCopyOption;
import java.util.ArrayList;
import java.util.List;
import java.util.Locale;
import java.util.concurrent.atomic.AtomicBoolean;
import java.util.concurrent.atomic.AtomicLong;

import quillmere.posewarden.HeadPose;
import quillmere.posewarden.HeadPoseTracker;

/**
 * A long run of the Java API over a rendered sequence folder, replayed back and forth without
 * end: one thread feeds FRAMES frames, forcing a new face search every 300 frames and closing and
 * opening the tracker again every 2000; another reads the pose and asks for new frames without
 * pause. Every 500 frames it prints the frames per second of that stretch, the share of tracked
 * frames and the process's resident memory. Ends with status 1 when the pose read ever held a
 * number that is not finite or the tracker stopped finding the face.
 *
 * <pre>
 * java -Djava.library.path=BUILD -cp vantorel.jar quillmere.posewarden.demo.Soak SEQUENCE_DIR FRAMES WORK_DIR
 * </pre>
 */
public final class Soak {
    private static final int REACQUIRE_EVERY = 300;
    private static final int REOPEN_EVERY = 2000;
    private static final int REPORT_EVERY = 500;

    public static void main(String[] args) throws Exception {
        if (args.length != 3) {
            System.err.println("usage: Soak SEQUENCE_DIR FRAMES WORK_DIR");
            System.exit(2);
        }
        Path sequence = Path.of(args[0]).toAbsolutePath();
        long frames = Long.parseLong(args[1]);
        String config = configure(Path.of(args[2]).toAbsolutePath(), sequence);

        HeadPoseTracker tracker = new HeadPoseTracker();
        tracker.initTracker(config);
        AtomicBoolean feeding = new AtomicBoolean(true);
        AtomicLong reads = new AtomicLong();
        AtomicBoolean bad = new AtomicBoolean(false);
        Thread reader = new Thread(() -> {
            HeadPose pose = new HeadPose();
            while (feeding.get()) {
                tracker.getHeadPose(pose);
                tracker.hasNewFrame();
                double sum = 0;
                for (double[] row : pose.rotation())
                    for (double value : row) sum += value;
                for (double value : pose.translation()) sum += value;
                for (double value : pose.centroid()) sum += value;
                if (!Double.isFinite(sum)) bad.set(true);
                reads.incrementAndGet();
            }
        });
        reader.start();

        long stretchStart = System.nanoTime();
        int trackedInStretch = 0, trackedTotal = 0;
        for (long frame = 1; frame <= frames; ++frame) {
            if (tracker.updateImage()) {
                ++trackedInStretch;
                ++trackedTotal;
            }
            if (frame % REOPEN_EVERY == 0) {
                tracker.closeTracker();
                tracker.initTracker(config);
            } else if (frame % REACQUIRE_EVERY == 0) {
                tracker.reacquireImage();
            }
            if (frame % REPORT_EVERY == 0 || frame == frames) {
                double seconds = (System.nanoTime() - stretchStart) / 1e9;
                int stretch = (int) ((frame - 1) % REPORT_EVERY) + 1;
                System.out.println(String.format(Locale.ROOT,
                        "soak: frame %6d  %6.1f frames/s  tracked %3d%%  resident %7.1f MB  pose reads %d", frame,
                        stretch / seconds, 100 * trackedInStretch / stretch, residentMegabytes(), reads.get()));
                System.out.flush();
                stretchStart = System.nanoTime();
                trackedInStretch = 0;
            }
        }
        feeding.set(false);
        reader.join();
        tracker.closeTracker();
        System.out.println(String.format(Locale.ROOT, "soak: %d frames, %d tracked, %d pose reads", frames,
                trackedTotal, reads.get()));
        if (bad.get()) fail("a pose read held a number that is not finite");
        if (trackedTotal < frames / 2) fail("the face was tracked in fewer than half of the frames");
    }

    private static void fail(String why) {
        System.out.println("soak: FAILED: " + why);
        System.exit(1);
    }

    // VmRSS of /proc/self/status, in megabytes; -1 where there is none.
    private static double residentMegabytes() {
        try {
            for (String line : Files.readAllLines(Path.of("/proc/self/status"), StandardCharsets.UTF_8))
                if (line.startsWith("VmRSS:")) return Long.parseLong(line.replaceAll("[^0-9]", "")) / 1024.0;
        } catch (IOException | NumberFormatException e) {
            return -1;
        }
        return -1;
    }

    // A configuration folder with the sequence's settings, replaying it without end, writing its
    // poses and results files into the folder.
    private static String configure(Path folder, Path sequence) throws IOException {
        Files.createDirectories(folder);
        List<String> camera = new ArrayList<>();
        for (String line : Files.readAllLines(sequence.resolve("camera-xyz.cfg"), StandardCharsets.UTF_8))
            if (!line.startsWith("TOTAL_FRAME:")) camera.add(line);
        camera.add("TOTAL_FRAME: 1000000000");
        Files.write(folder.resolve("camera.cfg"), camera, StandardCharsets.UTF_8);
        Files.writeString(folder.resolve("Param.cfg"),
                "CAMERA_TYPE: FILES\nCONFIG_FILENAME: camera.cfg\nMAX_FRAMES: 100\nPROJECTION: PERSPECTIVE\n");
        Files.copy(sequence.resolve("ParamInit.cfg"), folder.resolve("ParamInit.cfg"), StandardCopyOption.REPLACE_EXISTING);
        Files.writeString(folder.resolve("ParamTrackerZBCCE.cfg"), "POSES_FILE: poses.txt\nRESULTS_FILE: results.txt\n"
                + "MATCH_FUNCTION: MATCH_INTENSITY\nNB_MAX_BEST_MATCH: 2\nMERGE_POSE: POSE_WEIGHTED_AVERAGE\n"
                + "LAMBDA: -10\n");
        return HeadPoseTracker.configDirectory(folder.toString());
    }

    private Soak() {}
}
