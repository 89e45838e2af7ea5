package quillmere.posewarden.demo;

import java.io.IOException;
import java.io.PrintWriter;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.Locale;

import quillmere.posewarden.HeadPose;
import quillmere.posewarden.HeadPoseTracker;

/**
 * Runs a configuration directory through the Java API: initTracker, then updateImage and
 * getHeadPose once per frame, closeTracker. Prints one line per frame and the frame where tracking
 * started, and writes a log of every step for the picture tool. It is the jar's main class:
 *
 * <pre>
 * java -jar vantorel.jar CONFIG_DIR [--log FILE] [--frames N] [--quiet]
 * </pre>
 *
 * A recorded sequence runs to its end (or N frames); a live camera runs N frames (default 300).
 * The log has one line per step: step, file index of the newest frame, state after the step
 * (0 detecting, 1 tracking), event (found: the face was found in this frame; lost: tracking was
 * lost in this step and a new frame grabbed; "-" otherwise), then the fifteen pose values o1 o2 o3
 * t1 t2 t3 x1 x2 x3 y1 y2 y3 z1 z2 z3.
 */
public final class TrackSequence {
    private static final int LIVE_DEFAULT_FRAMES = 300;

    public static void main(String[] args) {
        Arguments arguments;
        try {
            arguments = Arguments.parse(args);
        } catch (IllegalArgumentException bad) {
            System.err.println("TrackSequence: " + bad.getMessage());
            System.err.println("usage: java -jar vantorel.jar CONFIG_DIR [--log FILE] [--frames N] [--quiet]");
            System.exit(2);
            return;
        }
        try {
            System.exit(run(arguments));
        } catch (IOException failed) {
            System.err.println("TrackSequence: " + failed.getMessage());
            System.exit(1);
        }
    }

    static int run(Arguments arguments) throws IOException {
        Path folder = Path.of(arguments.configDir);
        if (!Files.isDirectory(folder)) {
            System.err.println("TrackSequence: no such folder: " + arguments.configDir);
            return 1;
        }
        CameraConfiguration camera = CameraConfiguration.read(folder);
        int grabs = grabCount(camera.frameCount(), arguments.frames);
        if (camera.cameraType == CameraConfiguration.CameraType.FILES && grabs < 2) {
            System.err.println("TrackSequence: the recorded sequence " + camera.cameraFile
                    + " holds fewer than two frames");
            return 1;
        }
        int[] fileIndices = camera.fileIndices(Math.max(grabs, 1));

        HeadPoseTracker tracker = new HeadPoseTracker();
        HeadPose pose = new HeadPose();
        int foundFrame = -1, firstTrackedFrame = -1, lostCount = 0;
        try (PrintWriter log = arguments.logFile == null ? null
                : new PrintWriter(Files.newBufferedWriter(Path.of(arguments.logFile), StandardCharsets.UTF_8))) {
            if (log != null) {
                log.println("# configuration " + folder.toAbsolutePath() + ", camera " + camera.cameraType
                        + " " + camera.cameraFile);
                log.println("# step frame state event o1 o2 o3 t1 t2 t3 x1 x2 x3 y1 y2 y3 z1 z2 z3");
            }
            tracker.initTracker(HeadPoseTracker.configDirectory(arguments.configDir));
            int grabbed = 1;  // initTracker grabbed the first frame
            boolean tracking = false;
            for (int step = 1; grabbed < grabs; ++step) {
                boolean wasTracking = tracking;
                tracking = tracker.updateImage();
                ++grabbed;
                String event = "-";
                int frame = fileIndices[grabbed - 1];
                if (tracking && !wasTracking) {
                    event = "found";
                    if (foundFrame < 0) foundFrame = frame;
                } else if (wasTracking && !tracking) {
                    // Lost: the source was reset and grabbed one more frame in this step.
                    event = "lost";
                    ++lostCount;
                    if (grabbed < grabs) frame = fileIndices[grabbed++];
                }
                if (foundFrame >= 0 && firstTrackedFrame < 0 && wasTracking) firstTrackedFrame = frame;
                tracker.getHeadPose(pose);
                if (!arguments.quiet) System.out.println(frameLine(frame, tracking, event, pose));
                if (log != null) log.println(logLine(step, frame, tracking, event, pose));
            }
        } finally {
            tracker.closeTracker();
        }
        System.out.flush();
        if (foundFrame < 0) {
            System.out.println("No face found: tracking never started.");
        } else {
            System.out.println("Tracking started: face found in frame " + foundFrame
                    + (firstTrackedFrame >= 0 ? ", first tracked frame " + firstTrackedFrame : "")
                    + "; poses are motions from frame " + foundFrame + "."
                    + (lostCount > 0 ? " Tracking was lost " + lostCount + " time(s)." : ""));
        }
        return 0;
    }

    /**
     * Frames to grab: a recorded sequence's own count, or fewer when asked; a live camera, which
     * has no end, as many as asked, 300 when not.
     */
    static int grabCount(int recordedFrames, int asked) {
        if (recordedFrames < 0) return asked > 0 ? asked : LIVE_DEFAULT_FRAMES;
        return asked > 0 ? Math.min(recordedFrames, asked) : recordedFrames;
    }

    static String frameLine(int frame, boolean tracking, String event, HeadPose pose) {
        return String.format(Locale.ROOT,
                "frame %4d  %-9s yaw %7.2f  pitch %7.2f  roll %7.2f deg   t %8.1f %8.1f %8.1f mm%s",
                frame, tracking ? "tracking" : "detecting", plain(pose.yawDegrees()), plain(pose.pitchDegrees()),
                plain(pose.rollDegrees()), plain(pose.t1), plain(pose.t2), plain(pose.t3),
                event.equals("-") ? "" : "   (" + event + ")");
    }

    // -0.0 would print as "-0.00".
    private static double plain(double value) {
        return value + 0.0;
    }

    static String logLine(int step, int frame, boolean tracking, String event, HeadPose pose) {
        StringBuilder line = new StringBuilder();
        line.append(step).append(' ').append(frame).append(' ').append(tracking ? 1 : 0).append(' ').append(event);
        double[] values = {pose.o1, pose.o2, pose.o3, pose.t1, pose.t2, pose.t3, pose.x1, pose.x2, pose.x3,
                pose.y1, pose.y2, pose.y3, pose.z1, pose.z2, pose.z3};
        for (double value : values) line.append(' ').append(Double.toString(value));
        return line.toString();
    }

    static final class Arguments {
        String configDir;
        String logFile;
        int frames = -1;
        boolean quiet;

        static Arguments parse(String[] args) {
            Arguments a = new Arguments();
            for (int k = 0; k < args.length; ++k) {
                switch (args[k]) {
                    case "--log":
                        if (++k >= args.length) throw new IllegalArgumentException("--log needs a file");
                        a.logFile = args[k];
                        break;
                    case "--frames":
                        if (++k >= args.length) throw new IllegalArgumentException("--frames needs a number");
                        try {
                            a.frames = Integer.parseInt(args[k]);
                        } catch (NumberFormatException bad) {
                            throw new IllegalArgumentException("bad frame count " + args[k]);
                        }
                        if (a.frames < 2) throw new IllegalArgumentException("--frames must be at least 2");
                        break;
                    case "--quiet":
                        a.quiet = true;
                        break;
                    default:
                        if (args[k].startsWith("--")) throw new IllegalArgumentException("unknown option " + args[k]);
                        if (a.configDir != null) throw new IllegalArgumentException("more than one folder");
                        a.configDir = args[k];
                }
            }
            if (a.configDir == null) throw new IllegalArgumentException("no configuration folder");
            return a;
        }
    }

    private TrackSequence() {}
}
