package quillmere.posewarden;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.nio.file.Files;
import java.nio.file.Path;
import java.util.List;
import java.util.concurrent.atomic.AtomicLong;

import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

/**
 * How runs end: a recording that runs out of frames, and a program that ends whatever its threads
 * are doing in the tracker then.
 */
class HeadPoseTrackerEndingsTest {
    /**
     * Run in a child JVM: initTracker(args[0]), one thread feeding frames and one reading poses
     * without pause; once the feeder is past the first steps, the current time goes to the file
     * args[2] and the program ends by System.exit(3) (args[1] "exit", non-daemon threads) or by
     * main returning with both threads daemons (args[1] "return").
     */
    public static final class EndWhileTracking {
        public static void main(String[] args) throws Exception {
            HeadPoseTracker tracker = new HeadPoseTracker();
            tracker.initTracker(args[0]);
            boolean byExit = args[1].equals("exit");
            AtomicLong steps = new AtomicLong();
            Thread feeder = new Thread(() -> {
                while (true) {
                    tracker.updateImage();
                    steps.incrementAndGet();
                }
            });
            Thread reader = new Thread(() -> {
                HeadPose pose = new HeadPose();
                while (true) tracker.getHeadPose(pose);
            });
            feeder.setDaemon(!byExit);
            reader.setDaemon(!byExit);
            feeder.start();
            reader.start();
            while (steps.get() < 15) Thread.sleep(1);
            Files.writeString(Path.of(args[2]), Long.toString(System.currentTimeMillis()));
            if (byExit) System.exit(3);
        }
    }

    @Test
    void stepsWithoutANewFrameSayNoAndChangeNeitherTheStateNorThePose(@TempDir Path dir) throws Exception {
        HeadPoseTracker tracker = new HeadPoseTracker();
        assertFalse(tracker.hasNewFrame(), "no tracker yet");
        tracker.initTracker(TestSequence.configure(dir, 20));  // initTracker's grab and 19 steps
        assertTrue(tracker.hasNewFrame());
        int tracked = 0;
        for (int step = 1; step <= 19; ++step) {
            if (tracker.updateImage()) ++tracked;
            assertTrue(tracker.hasNewFrame(), "step " + step);
        }
        assertTrue(tracked >= 10, "tracked " + tracked + " of 19 steps");
        String last = tracker.currentPose().toString();
        int lines = TestSequence.readPoses(dir.resolve("poses.txt")).size();
        for (int step = 0; step < 3; ++step) {
            assertTrue(tracker.updateImage(), "the state stays tracking");
            assertFalse(tracker.hasNewFrame());
            assertEquals(last, tracker.currentPose().toString());
            assertEquals(lines, TestSequence.readPoses(dir.resolve("poses.txt")).size(), "nothing tracked twice");
        }
        tracker.closeTracker();
        assertFalse(tracker.hasNewFrame(), "no tracker any more");
    }

    @Test
    void aProgramEndsWithinSecondsWhileItsOtherThreadsAreInsideTheTrackerAndItsPosesFileIsWhole(@TempDir Path dir)
            throws Exception {
        String config = TestSequence.configure(dir, 1000000);
        Path exitTime = dir.resolve("exit-time.txt");
        for (String ending : List.of("exit", "return")) {
            TestSequence.ChildOutput run = TestSequence.runJavaWithin(60, dir, EndWhileTracking.class.getName(), config,
                    ending, exitTime.toString());
            long ended = System.currentTimeMillis();
            assertNotNull(run, ending + ": the program was still running after 60 seconds");
            assertEquals(ending.equals("exit") ? 3 : 0, run.exitCode, ending + ": " + run.stderr);
            long endAsked = Long.parseLong(Files.readString(exitTime).trim());
            assertTrue(ended - endAsked < 15000, ending + ": took " + (ended - endAsked) + " ms to end");
            // Every line whole: readPoses refuses a cut one.
            assertFalse(TestSequence.readPoses(dir.resolve("poses.txt")).isEmpty(), ending);
        }
    }
}
