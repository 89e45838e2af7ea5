package quillmere.posewarden.demo;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.List;
import java.util.stream.Collectors;

import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

class TrackSequenceTest {
    @Test
    void logsEveryStepWithItsFrameStateAndPoseForAFolderGivenWithoutSeparator(@TempDir Path dir) throws Exception {
        Path sequence = Path.of(System.getProperty("vantorel.sequence"));
        Path log = dir.resolve("log.txt");
        String folder = sequence.toString().replaceAll("/+$", "");
        int status = TrackSequence.run(TrackSequence.Arguments.parse(
                new String[] {folder, "--log", log.toString(), "--frames", "20", "--quiet"}));
        assertEquals(0, status);

        List<String[]> steps = Files.readAllLines(log, StandardCharsets.UTF_8).stream()
                .filter(line -> !line.startsWith("#")).map(line -> line.split(" ")).collect(Collectors.toList());
        assertEquals(19, steps.size(), "initTracker grabs the first of the 20 frames");
        int found = -1;
        for (int k = 0; k < steps.size(); ++k) {
            String[] fields = steps.get(k);
            assertEquals(19, fields.length);
            assertEquals(Integer.toString(k + 1), fields[0]);
            assertEquals(Integer.toString(k + 2), fields[1], "file index of the newest frame");
            if (fields[3].equals("found")) found = k;
            assertEquals(found >= 0 ? "1" : "0", fields[2]);
        }
        assertTrue(found > 0, "the face was found");
        assertEquals("1.0", steps.get(0)[10], "x1 of the identity while detecting");
    }

    @Test
    void aLiveCameraRunsAsManyFramesAsAskedARecordingNoMoreThanItHolds() {
        assertEquals(1200, TrackSequence.grabCount(-1, 1200), "beyond the live default");
        assertEquals(300, TrackSequence.grabCount(-1, -1));
        assertEquals(50, TrackSequence.grabCount(50, 1200));
        assertEquals(20, TrackSequence.grabCount(50, 20));
    }
}
