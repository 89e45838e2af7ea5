package quillmere.posewarden;

import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.HashMap;
import java.util.List;
import java.util.Map;
import java.util.regex.Matcher;
import java.util.regex.Pattern;

import quillmere.posewarden.demo.CameraConfiguration;

/**
 * The example program TrackHead on the rendered sequence: a configuration folder for it, and the
 * check that what it prints follows the head's true turn.
 */
final class TrackedHead {
    /** TrackHead's frames: initTracker grabs one more. */
    static final int FRAMES = 100;
    private static final Pattern POSE_LINE = Pattern.compile("frame (\\d+): HeadPose\\[yaw (-?[0-9.]+),");

    private TrackedHead() {}

    static Path example() {
        return Path.of(CleanJvm.property("vantorel.source"), "java", "examples", "TrackHead.java");
    }

    /**
     * A configuration folder in folder replaying the sequence back and forth with its own
     * settings for every grab of TrackHead, writing its output files there.
     */
    static Path configure(Path folder) throws IOException {
        Path sequence = TestSequence.folder();
        Files.createDirectories(folder);
        List<String> camera = new ArrayList<>();
        for (String line : Files.readAllLines(sequence.resolve("camera-xyz.cfg"), StandardCharsets.UTF_8))
            if (!line.startsWith("TOTAL_FRAME:")) camera.add(line);
        camera.add("TOTAL_FRAME: " + (FRAMES + 1));
        Files.write(folder.resolve("camera.cfg"), camera, StandardCharsets.UTF_8);
        Files.writeString(folder.resolve("Param.cfg"), "CONFIG_FILENAME: " + folder.resolve("camera.cfg") + "\n"
                + without(sequence.resolve("Param.cfg"), "CONFIG_FILENAME:"));
        Files.copy(sequence.resolve("ParamInit.cfg"), folder.resolve("ParamInit.cfg"));
        Files.writeString(folder.resolve("ParamTrackerZBCCE.cfg"), "RESULTS_FILE: " + folder.resolve("results.txt")
                + "\nPOSES_FILE: " + folder.resolve("poses.txt") + "\n"
                + without(sequence.resolve("ParamTrackerZBCCE.cfg"), "RESULTS_FILE:", "POSES_FILE:"));
        return folder;
    }

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

    /**
     * TrackHead's output on a folder of {@link #configure}: the face is found early and every
     * tracked frame's yaw is the true turn since the frame where it was found, within tolerance.
     */
    static void assertFollowsTheHead(Path config, String stdout) throws IOException {
        Map<Integer, Double> yaws = new HashMap<>();
        int found = -1;
        for (String line : stdout.split("\n")) {
            Matcher pose = POSE_LINE.matcher(line);
            if (!pose.lookingAt()) continue;
            int frame = Integer.parseInt(pose.group(1));
            if (found < 0) found = frame;
            yaws.put(frame, Double.parseDouble(pose.group(2)));
        }
        assertTrue(found > 0 && found <= 15, "the face was not found in the first 15 frames:\n" + stdout);
        assertTrue(yaws.size() >= FRAMES - found - 5, "tracked only " + yaws.size() + " frames:\n" + stdout);

        int[] fileIndex = CameraConfiguration.read(config).fileIndices(FRAMES + 1);
        Map<Integer, double[][]> truth = groundTruth();
        double[][] reference = truth.get(fileIndex[found]);
        double worst = 0.0, swing = 0.0;
        for (Map.Entry<Integer, Double> tracked : yaws.entrySet()) {
            double trueYaw = relativeYaw(reference, truth.get(fileIndex[tracked.getKey()]));
            swing = Math.max(swing, Math.abs(trueYaw));
            worst = Math.max(worst, Math.abs(tracked.getValue() - trueYaw));
        }
        assertTrue(swing > 5.0, "the head hardly turns: " + swing + " degrees");
        assertTrue(worst < 2.0, "yaw off the truth by up to " + worst + " degrees:\n" + stdout);
    }

    // Yaw of R_to R_from^T, the turn from one frame to the other, as HeadPose reports it.
    private static double relativeYaw(double[][] from, double[][] to) {
        double[][] r = new double[3][3];
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                for (int k = 0; k < 3; ++k) r[i][j] += to[i][k] * from[j][k];
        HeadPose pose = new HeadPose();
        pose.x1 = r[0][0];
        pose.x2 = r[1][0];
        pose.x3 = r[2][0];
        pose.z1 = r[0][2];
        pose.z2 = r[1][2];
        pose.z3 = r[2][2];
        return pose.yawDegrees();
    }

    // File index to the head's rotation R by rows.
    private static Map<Integer, double[][]> groundTruth() throws IOException {
        Map<Integer, double[][]> truth = new HashMap<>();
        for (String line : Files.readAllLines(TestSequence.folder().resolve("ground-truth.txt"), StandardCharsets.UTF_8)) {
            if (line.startsWith("#") || line.isBlank()) continue;
            String[] fields = line.trim().split("\\s+");
            double[][] rotation = new double[3][3];
            for (int k = 0; k < 9; ++k) rotation[k / 3][k % 3] = Double.parseDouble(fields[7 + k]);
            truth.put(Integer.parseInt(fields[0]), rotation);
        }
        return truth;
    }
}
