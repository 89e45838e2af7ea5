package quillmere.posewarden;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNotEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static org.junit.jupiter.api.Assertions.fail;

import java.io.IOException;
import java.io.PrintWriter;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import java.util.concurrent.atomic.AtomicBoolean;

import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

class HeadPoseTrackerTest {
    private static final String ALL_THREE_MISSING = "Error! Unable to open Param.cfg"
            + "Error! Unable to open ParamInit.cfg" + "Error! Unable to open ParamZBCCE.cfg";

    private final HeadPoseTracker tracker = new HeadPoseTracker();

    /**
     * Run in a child JVM so that the library's console output can be read: initTracker(args[0],
     * "null" meaning null), args[1] steps whose results go to the file args[2] one per line, then
     * the pose, then closeTracker.
     */
    public static final class Steps {
        public static void main(String[] args) throws IOException {
            HeadPoseTracker tracker = new HeadPoseTracker();
            tracker.initTracker(args[0].equals("null") ? null : args[0]);
            try (PrintWriter report = new PrintWriter(Files.newBufferedWriter(Path.of(args[2])))) {
                for (int step = Integer.parseInt(args[1]); step > 0; --step) report.println(tracker.updateImage());
                HeadPose pose = tracker.currentPose();
                report.println(pose.t1 + " " + pose.t2 + " " + pose.t3 + " " + pose.rotationAngleDegrees() + " "
                        + pose.o1 + " " + pose.o2 + " " + pose.o3);
            }
            tracker.closeTracker();
        }
    }

    @AfterEach
    void closeWhateverIsOpen() {
        tracker.closeTracker();
    }

    private static List<String> report(Path dir) throws IOException {
        return Files.readAllLines(dir.resolve("report.txt"), StandardCharsets.UTF_8);
    }

    private static int firstTrue(List<String> results) {
        return results.indexOf("true");
    }

    private int stepUntilTracking(int limit) {
        for (int step = 1; step <= limit; ++step)
            if (tracker.updateImage()) return step;
        fail("no face found in " + limit + " steps");
        return -1;
    }

    private static void assertIdentity(HeadPose pose) {
        assertEquals(0.0, pose.rotationAngleDegrees(), 1e-9);
        assertEquals(0.0, Math.abs(pose.t1) + Math.abs(pose.t2) + Math.abs(pose.t3), 1e-9);
    }

    @Test
    void detectingStepsAnswerFalseTheFindingStepPrintsOneRegionLineAndLaterStepsTrack(@TempDir Path dir)
            throws Exception {
        String config = TestSequence.configure(dir, 60);
        TestSequence.ChildOutput run = TestSequence.runJava(dir, Steps.class.getName(), config, "12",
                dir.resolve("report.txt").toString());
        assertEquals(0, run.exitCode, run.stderr);
        assertFalse(run.stderr.contains("Unable to open"), run.stderr);
        List<String> results = report(dir).subList(0, 12);
        int found = firstTrue(results);
        assertTrue(found >= 1, "the face cannot be stable in the first step: " + results);
        for (int step = 0; step < 12; ++step) assertEquals(step >= found ? "true" : "false", results.get(step));
        assertEquals(1, run.countLines("TrackerInitializer ROI: "), run.stdout);
        assertTrue(run.stdout.lines().anyMatch(line -> line.matches("TrackerInitializer ROI: \\d+, \\d+")), run.stdout);

        // Stopping just before that step: no region line yet, so the finding step printed it.
        TestSequence.ChildOutput before = TestSequence.runJava(dir, Steps.class.getName(), config,
                Integer.toString(found), dir.resolve("report.txt").toString());
        assertEquals(0, before.exitCode, before.stderr);
        assertEquals(0, before.countLines("TrackerInitializer ROI: "), before.stdout);
    }

    @Test
    void directoryWithoutSeparatorOrNullOpensNothingAndRunsOnDefaults(@TempDir Path dir) throws Exception {
        String config = TestSequence.configure(dir, 60);
        String glued = config.substring(0, config.length() - 1);  // "<dir>Param.cfg" does not exist
        for (String directory : List.of(glued, "null")) {
            TestSequence.ChildOutput run = TestSequence.runJava(dir, Steps.class.getName(), directory, "3",
                    dir.resolve("report.txt").toString());
            assertEquals(0, run.exitCode, run.stderr);
            assertTrue(run.stderr.contains(ALL_THREE_MISSING), run.stderr);
            // The default camera is a live one, absent here: every grab fails, nothing is found.
            assertEquals(3, run.countLines("Error! GrabImage() failed!"), run.stdout);
            assertEquals(List.of("false", "false", "false", "0.0 0.0 0.0 0.0 0.0 0.0 0.0"), report(dir));
        }
    }

    @Test
    void headPoseAgreesWithThePosesFileAndIsTheIdentityWhileDetecting(@TempDir Path dir) throws Exception {
        tracker.initTracker(TestSequence.configure(dir, 60));
        List<HeadPose> tracked = new ArrayList<>();
        boolean found = false;
        for (int step = 0; step < 30; ++step) {
            boolean tracking = tracker.updateImage();
            HeadPose pose = tracker.currentPose();
            if (tracking && !found) {
                // The finding step tracks nothing yet, and its frame was grabbed before the face
                // region existed.
                found = true;
                assertIdentity(pose);
                assertEquals(0.0, pose.o3);
            } else if (tracking) {
                assertTrue(pose.o3 > 600 && pose.o3 < 1200, "face centroid depth " + pose.o3);
                tracked.add(pose);
            } else {
                assertFalse(found, "tracking lost at step " + step);
                assertIdentity(pose);
            }
        }
        tracker.closeTracker();
        List<double[]> lines = TestSequence.readPoses(dir.resolve("poses.txt"));
        assertEquals(tracked.size(), lines.size());
        assertTrue(tracked.size() >= 20, "tracked " + tracked.size() + " of 30 steps");
        for (int k = 0; k < lines.size(); ++k)
            assertTrue(TestSequence.distance(tracked.get(k), lines.get(k)) < 1e-4, "step " + k + ": " + tracked.get(k));
        assertNotEquals(0.0, tracked.get(tracked.size() - 1).rotationAngleDegrees(), "the head turns");
    }

    @Test
    void reacquiringReturnsToDetectingAndFindsTheFaceAgain(@TempDir Path dir) throws Exception {
        tracker.initTracker(TestSequence.configure(dir, 60));
        stepUntilTracking(10);
        assertTrue(tracker.updateImage());
        tracker.reacquireImage();
        assertIdentity(tracker.currentPose());
        assertFalse(tracker.updateImage());
        stepUntilTracking(12);
    }

    @Test
    void callsWithoutAContextDoNothingAndTheTrackerCanBeOpenedAgain(@TempDir Path dir) throws Exception {
        for (int round = 0; round < 2; ++round) {
            tracker.closeTracker();
            HeadPose untouched = new HeadPose();
            untouched.t1 = 42.0;
            tracker.getHeadPose(untouched);
            tracker.reacquireImage();
            assertFalse(tracker.updateImage());
            tracker.getHeadPose(untouched);
            assertEquals(42.0, untouched.t1);
            tracker.closeTracker();

            Path roundDir = Files.createDirectory(dir.resolve("round" + round));
            tracker.initTracker(TestSequence.configure(roundDir, 60));
            stepUntilTracking(10);
            assertTrue(tracker.updateImage());
        }
    }

    @Test
    void aSecondInitClosesTheContextItReplaces(@TempDir Path dir) throws Exception {
        Path first = Files.createDirectory(dir.resolve("first"));
        Path second = Files.createDirectory(dir.resolve("second"));
        tracker.initTracker(TestSequence.configure(first, 60));
        int found = stepUntilTracking(10);
        for (int step = 0; step < 5; ++step) assertTrue(tracker.updateImage());
        tracker.initTracker(TestSequence.configure(second, 60));
        // The first tracker's output is complete: its files were closed.
        assertEquals(5, TestSequence.readPoses(first.resolve("poses.txt")).size());
        // The second starts from its own first frame.
        assertIdentity(tracker.currentPose());
        assertEquals(found, stepUntilTracking(10));
    }

    /** A pose class that lacks most fields and holds two under other types. */
    static final class PartialPose {
        public double t3 = -1.0;
        public double o3 = -1.0;
        public int x1 = 7;
        public String z3 = "z";
        public static double t1 = -1.0;
    }

    @Test
    void posesLackingFieldsAreFilledFieldByFieldAndOddObjectsAreIgnored(@TempDir Path dir) throws Exception {
        tracker.initTracker(TestSequence.configure(dir, 60));
        stepUntilTracking(10);
        for (int step = 0; step < 12; ++step) assertTrue(tracker.updateImage());  // into the turn
        HeadPose full = tracker.currentPose();
        assertNotEquals(0.0, full.t3);
        PartialPose partial = new PartialPose();
        tracker.getHeadPose(partial);
        assertEquals(full.t3, partial.t3);
        assertEquals(full.o3, partial.o3);
        assertEquals(7, partial.x1);
        assertEquals("z", partial.z3);
        assertEquals(-1.0, PartialPose.t1);
        for (Object odd : new Object[] {new Object(), "text", new double[15], null}) tracker.getHeadPose(odd);
        // No exception was left pending: the tracker goes on as before.
        assertEquals(full.toString(), tracker.currentPose().toString());
        assertTrue(tracker.updateImage());
    }

    @Test
    void twoThreadsFeedingAndReadingForAThousandStepsNeverSeeATornPose(@TempDir Path dir) throws Exception {
        tracker.initTracker(TestSequence.configure(dir, 1001));
        AtomicBoolean feeding = new AtomicBoolean(true);
        int[] trueSteps = {0}, findings = {0}, losses = {0};
        Thread feeder = new Thread(() -> {
            boolean previous = false;
            for (int step = 0; step < 1000; ++step) {
                boolean tracking = tracker.updateImage();
                if (tracking) ++trueSteps[0];
                if (tracking && !previous) ++findings[0];
                if (previous && !tracking) ++losses[0];
                previous = tracking;
            }
            feeding.set(false);
        });
        // Distinct poses only: a torn one is distinct too.
        List<HeadPose> samples = new ArrayList<>();
        Thread reader = new Thread(() -> {
            HeadPose last = new HeadPose();
            while (feeding.get()) {
                HeadPose pose = new HeadPose();
                tracker.getHeadPose(pose);
                if (pose.t1 != last.t1 || pose.t2 != last.t2 || pose.t3 != last.t3 || pose.x1 != last.x1
                        || pose.y2 != last.y2 || pose.z3 != last.z3)
                    samples.add(pose);
                last = pose;
            }
        });
        feeder.start();
        reader.start();
        feeder.join();
        reader.join();
        tracker.closeTracker();

        List<double[]> lines = TestSequence.readPoses(dir.resolve("poses.txt"));
        // Every tracking step wrote a line, including those that lost the face; finding steps did not.
        assertEquals(trueSteps[0] - findings[0] + losses[0], lines.size());
        assertTrue(trueSteps[0] > 500, "tracked " + trueSteps[0] + " of 1000 steps");
        int trackedSamples = 0;
        for (HeadPose pose : samples) {
            if (pose.rotationAngleDegrees() == 0.0 && pose.t1 == 0.0 && pose.t2 == 0.0 && pose.t3 == 0.0) continue;
            ++trackedSamples;
            boolean matches = false;
            for (double[] line : lines) {
                if (TestSequence.distance(pose, line) < 1e-4) {
                    matches = true;
                    break;
                }
            }
            assertTrue(matches, "a pose no step produced: " + pose);
        }
        assertTrue(trackedSamples > 100, "only " + trackedSamples + " samples while tracking");
    }
}
