package quillmere.posewarden.demo;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;

/**
 * What a runner needs to know of a configuration directory's camera: which camera "Param.cfg"
 * names and, for a recorded sequence, how many frames it delivers and the file index of each.
 * Only the keywords used here are read, with the library's token rules: white-space separated
 * tokens, a token starting with '#' comments out the rest of its line, a keyword is followed by
 * its value, the last occurrence wins, and one of these values that does not parse ends the
 * reading.
 */
public final class CameraConfiguration {
    /** CAMERA_TYPE of "Param.cfg". */
    public enum CameraType { SRI, TRICLOPS, FILES }

    public final CameraType cameraType;
    /** CONFIG_FILENAME of "Param.cfg", resolved as the library resolves it (as given). */
    public final String cameraFile;
    private final int first, last, step, total;

    private CameraConfiguration(CameraType type, String cameraFile, int[] sequence) {
        this.cameraType = type;
        this.cameraFile = cameraFile;
        this.first = sequence[0];
        this.last = sequence[1];
        this.step = sequence[2];
        this.total = sequence[3];
    }

    /** Frames a recorded sequence delivers; -1 for a live camera, which has no end. */
    public int frameCount() {
        return cameraType == CameraType.FILES ? Math.max(total, 0) : -1;
    }

    /**
     * The file index of the first {@code count} grabs of a recorded sequence: from
     * FIRST_FILE_INDEX by STEP_FILE_INDEX, turning back at either bound. For a live camera, the
     * grab number from 1.
     */
    public int[] fileIndices(int count) {
        int[] indices = new int[count];
        if (cameraType != CameraType.FILES) {
            for (int k = 0; k < count; ++k) indices[k] = k + 1;
            return indices;
        }
        int index = first, direction = step;
        for (int grabbed = 0; grabbed < count; ++grabbed) {
            if (grabbed > 0) {
                index += direction;
                if (index > last) {
                    direction = -direction;
                    index = last + direction;
                } else if (index < first) {
                    direction = -direction;
                    index = first + direction;
                }
            }
            indices[grabbed] = index;
        }
        return indices;
    }

    /** Reads "Param.cfg" of the directory (a missing file gives the defaults: the live camera). */
    public static CameraConfiguration read(Path configDirectory) {
        List<String> tokens = tokens(configDirectory.resolve("Param.cfg"));
        CameraType type = CameraType.SRI;
        String cameraFile = "";
        for (int k = 0; k < tokens.size(); ++k) {
            String token = tokens.get(k);
            boolean hasValue = k + 1 < tokens.size();
            if (token.equals("CAMERA_TYPE:") && hasValue) {
                String value = tokens.get(++k);
                for (CameraType candidate : CameraType.values())
                    if (candidate.name().equals(value)) type = candidate;
            } else if (token.equals("CONFIG_FILENAME:") && hasValue) {
                cameraFile = tokens.get(++k);
            }
        }
        int[] sequence = type == CameraType.FILES ? recordedSequence(Path.of(cameraFile)) : new int[] {0, 0, 1, 0};
        return new CameraConfiguration(type, cameraFile, sequence);
    }

    // {first, last, step, total} of a recorded-camera file, the library's defaults where unset.
    private static int[] recordedSequence(Path cameraFile) {
        List<String> tokens = tokens(cameraFile);
        int first = 100, last = 101, total = -1, step = 1;
        for (int k = 0; k + 1 < tokens.size(); ++k) {
            String token = tokens.get(k);
            if (!token.equals("FIRST_FILE_INDEX:") && !token.equals("LAST_FILE_INDEX:")
                    && !token.equals("TOTAL_FRAME:") && !token.equals("STEP_FILE_INDEX:"))
                continue;
            int value;
            try {
                value = Integer.parseInt(tokens.get(++k));
            } catch (NumberFormatException stop) {
                break;
            }
            switch (token) {
                case "FIRST_FILE_INDEX:": first = value; break;
                case "LAST_FILE_INDEX:": last = value; break;
                case "TOTAL_FRAME:": total = value; break;
                default: step = value; break;
            }
        }
        if (total == -1) total = Math.abs(last - first) + 1;
        return new int[] {first, last, step, total};
    }

    /** The file's tokens without comments; none when it cannot be read. */
    static List<String> tokens(Path file) {
        List<String> tokens = new ArrayList<>();
        List<String> lines;
        try {
            lines = new ArrayList<>(Files.readAllLines(file, StandardCharsets.ISO_8859_1));
        } catch (IOException | RuntimeException unreadable) {
            return tokens;
        }
        // A UTF-8 byte-order mark, which some editors write, is no part of the first keyword: the
        // library drops it too.
        if (!lines.isEmpty() && lines.get(0).startsWith("\u00EF\u00BB\u00BF")) lines.set(0, lines.get(0).substring(3));
        for (String line : lines) {
            for (String token : line.trim().split("\\s+")) {
                if (token.isEmpty()) continue;
                if (token.startsWith("#")) break;
                tokens.add(token);
            }
        }
        return tokens;
    }
}
