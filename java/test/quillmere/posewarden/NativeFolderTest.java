package quillmere.posewarden;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNotEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.BufferedReader;
import java.io.ByteArrayInputStream;
import java.io.IOException;
import java.io.InputStream;
import java.io.InputStreamReader;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.attribute.FileTime;
import java.nio.file.attribute.PosixFilePermissions;
import java.time.Instant;

import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

class NativeFolderTest {
    /** Run in a child JVM: makes an extraction folder in args[0], names it, then waits to be killed. */
    public static final class Holder {
        public static void main(String[] args) throws Exception {
            System.out.println(NativeFolder.create(Path.of(args[0])));
            System.out.flush();
            Thread.sleep(120_000);
        }
    }

    private static InputStream bytes(String text) {
        return new ByteArrayInputStream(text.getBytes(StandardCharsets.UTF_8));
    }

    private static Path folderIn(Path base, String name, boolean withLock, Instant modified) throws IOException {
        Path folder = Files.createDirectory(base.resolve(NativeFolder.PREFIX + name));
        Path aged = withLock ? Files.createFile(folder.resolve(NativeFolder.LOCK)) : folder;
        Files.setLastModifiedTime(aged, FileTime.from(modified));
        return folder;
    }

    @Test
    void everyFolderIsNewAndOnlyItsOwnerMayEnterIt(@TempDir Path base) throws IOException {
        Path first = NativeFolder.create(base), second = NativeFolder.create(base);
        assertNotEquals(first, second);
        for (Path folder : new Path[] {first, second}) {
            assertEquals(base, folder.getParent());
            assertEquals("rwx------", PosixFilePermissions.toString(Files.getPosixFilePermissions(folder)));
            assertTrue(Files.exists(folder.resolve(NativeFolder.LOCK)));
        }
    }

    @Test
    void filesGoIntoSubfoldersButNeverOutsideTheFolderOrOverAnother(@TempDir Path base) throws IOException {
        Path folder = NativeFolder.create(base);
        NativeFolder.copy(bytes("stages"), folder, "classifier/Classifier.txt");
        assertEquals("stages", Files.readString(folder.resolve("classifier/Classifier.txt")));
        for (String outside : new String[] {"../escaped.txt", "/tmp/escaped.txt", "classifier/../../escaped.txt", "."})
            assertThrows(IOException.class, () -> NativeFolder.copy(bytes("x"), folder, outside), outside);
        assertFalse(Files.exists(base.resolve("escaped.txt")));
        assertThrows(IOException.class, () -> NativeFolder.copy(bytes("again"), folder, "classifier/Classifier.txt"));
    }

    @Test
    void onlyFoldersOfEndedJvmsAreRemoved(@TempDir Path base) throws Exception {
        // Seen from a moment after every folder made now has settled. (Touching a lock file this
        // JVM holds would release the lock: time moves instead.)
        Instant later = Instant.now().plus(NativeFolder.SETTLING).plusSeconds(30);
        Instant old = Instant.now(), young = later.minusSeconds(5);
        Path unlocked = folderIn(base, "ended", true, old);
        Path neverLocked = folderIn(base, "ended-before-locking", false, old);
        Path settling = folderIn(base, "settling", true, young);
        Path settlingUnlocked = folderIn(base, "just-made", false, young);
        Path ours = NativeFolder.create(base);
        Path target = Files.createDirectory(base.resolve("elsewhere"));
        Files.writeString(target.resolve("kept.txt"), "kept");
        Path link = Files.createSymbolicLink(base.resolve(NativeFolder.PREFIX + "link"), target);
        Path other = Files.createDirectory(base.resolve("vantorel-other"));

        // Another JVM that holds its folder, then dies without its exit.
        Process holder = new ProcessBuilder(Path.of(System.getProperty("java.home"), "bin", "java").toString(), "-cp",
                System.getProperty("vantorel.classpath", System.getProperty("java.class.path")),
                Holder.class.getName(), base.toString()).redirectErrorStream(true).start();
        Path held = Path.of(new BufferedReader(new InputStreamReader(holder.getInputStream(), StandardCharsets.UTF_8))
                .readLine());
        try {
            NativeFolder.removeLeftBehind(base, Files.getOwner(ours), later);
            assertTrue(Files.exists(held), "a live JVM's folder was removed");
        } finally {
            holder.destroyForcibly().waitFor();
        }
        assertTrue(Files.exists(held), "the killed JVM could not clean up");
        NativeFolder.removeLeftBehind(base, Files.getOwner(ours), later);

        for (Path gone : new Path[] {unlocked, neverLocked, held}) assertFalse(Files.exists(gone), gone.toString());
        for (Path kept : new Path[] {settling, settlingUnlocked, ours, link, other, target.resolve("kept.txt")})
            assertTrue(Files.exists(kept), kept.toString());
    }
}
