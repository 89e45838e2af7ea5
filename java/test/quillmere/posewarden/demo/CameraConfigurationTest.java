package quillmere.posewarden.demo;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;

import java.nio.file.Files;
import java.nio.file.Path;

import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

class CameraConfigurationTest {
    private static CameraConfiguration recorded(Path dir, String cameraText) throws Exception {
        Path camera = dir.resolve("camera.cfg");
        Files.writeString(camera, cameraText);
        Files.writeString(dir.resolve("Param.cfg"), "# a recorded sequence\nCAMERA_TYPE: FILES\nCONFIG_FILENAME: "
                + camera + "\n");
        return CameraConfiguration.read(dir);
    }

    @Test
    void recordedSequencesRunBackAndForthBetweenTheirBounds(@TempDir Path dir) throws Exception {
        CameraConfiguration camera = recorded(dir,
                "FIRST_FILE_INDEX: 1\nLAST_FILE_INDEX: 3\nTOTAL_FRAME: 7\n# FIRST_FILE_INDEX: 5\n");
        assertEquals(CameraConfiguration.CameraType.FILES, camera.cameraType);
        assertEquals(7, camera.frameCount());
        assertArrayEquals(new int[] {1, 2, 3, 2, 1, 2, 3}, camera.fileIndices(7));
    }

    @Test
    void unsetValuesTakeTheRecordedCameraDefaultsAndABadValueStopsReading(@TempDir Path dir) throws Exception {
        CameraConfiguration defaults = recorded(dir, "FOCAL: 400\n");
        assertEquals(2, defaults.frameCount());
        assertArrayEquals(new int[] {100, 101}, defaults.fileIndices(2));
        CameraConfiguration stopped = recorded(dir, "LAST_FILE_INDEX: 120\nFIRST_FILE_INDEX: x\nLAST_FILE_INDEX: 200\n");
        assertEquals(21, stopped.frameCount());
    }

    @Test
    void aByteOrderMarkBeforeTheFirstKeywordIsDropped(@TempDir Path dir) throws Exception {
        Path camera = dir.resolve("camera.cfg");
        Files.writeString(camera, "\uFEFFLAST_FILE_INDEX: 104\r\nFIRST_FILE_INDEX: 100\r\n");
        Files.writeString(dir.resolve("Param.cfg"), "\uFEFFCAMERA_TYPE: FILES\r\nCONFIG_FILENAME: " + camera + "\r\n");
        CameraConfiguration read = CameraConfiguration.read(dir);
        assertEquals(CameraConfiguration.CameraType.FILES, read.cameraType);
        assertEquals(5, read.frameCount());
    }

    @Test
    void aLiveOrMissingCameraHasNoEndAndCountsGrabs(@TempDir Path dir) throws Exception {
        CameraConfiguration missing = CameraConfiguration.read(dir);
        assertEquals(CameraConfiguration.CameraType.SRI, missing.cameraType);
        assertEquals(-1, missing.frameCount());
        assertArrayEquals(new int[] {1, 2, 3}, missing.fileIndices(3));
    }
}
