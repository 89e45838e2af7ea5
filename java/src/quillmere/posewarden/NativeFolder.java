package quillmere.posewarden;

import java.io.IOException;
import java.io.InputStream;
import java.nio.channels.FileChannel;
import java.nio.channels.FileLock;
import java.nio.channels.OverlappingFileLockException;
import java.nio.file.DirectoryStream;
import java.nio.file.Files;
import java.nio.file.LinkOption;
import java.nio.file.Path;
import java.nio.file.StandardOpenOption;
import java.nio.file.attribute.FileAttribute;
import java.nio.file.attribute.PosixFilePermissions;
import java.nio.file.attribute.UserPrincipal;
import java.time.Duration;
import java.time.Instant;
import java.util.ArrayList;
import java.util.Comparator;
import java.util.List;
import java.util.Set;
import java.util.concurrent.ConcurrentHashMap;
import java.util.stream.Stream;

/**
 * The private folder this JVM extracts the jar's native library into: a new one per JVM, made
 * with a fresh random name and, where the file system knows owners, readable and writable by its
 * owner only, so that other users cannot swap the library and concurrent JVMs never share one.
 * It holds a lock file that stays locked while the JVM lives and is deleted at exit. Folders that
 * JVMs killed before their exit left behind are removed by the next JVM that extracts.
 */
final class NativeFolder {
    static final String PREFIX = "vantorel-native-";
    static final String LOCK = ".in-use";
    /** A folder this young may be one whose JVM is still between creating and locking it. */
    static final Duration SETTLING = Duration.ofMinutes(1);

    // Held for the life of the JVM: a released lock marks the folder as left behind. Their folders
    // are never looked at: closing any other channel on a lock file would release its lock.
    private static final List<FileLock> LOCKS = new ArrayList<>();
    private static final Set<Path> OURS = ConcurrentHashMap.newKeySet();

    private NativeFolder() {}

    /** Creates this JVM's folder in base, to be deleted at exit, after removing left-behind ones. */
    static synchronized Path create(Path base) throws IOException {
        Files.createDirectories(base);
        Path folder = posix(base) ? Files.createTempDirectory(base, PREFIX, ownerOnly())
                : Files.createTempDirectory(base, PREFIX);
        Runtime.getRuntime().addShutdownHook(new Thread(() -> deleteQuietly(folder), "vantorel-native-cleanup"));
        OURS.add(folder.toAbsolutePath().normalize());
        LOCKS.add(FileChannel.open(folder.resolve(LOCK), StandardOpenOption.CREATE_NEW, StandardOpenOption.WRITE).lock());
        removeLeftBehind(base, owner(folder), Instant.now());
        return folder;
    }

    /** Writes in's bytes to the relative name inside folder; names that lead outside it are refused. */
    static void copy(InputStream in, Path folder, String name) throws IOException {
        Path target = folder.resolve(name).normalize();
        if (!target.startsWith(folder) || target.equals(folder)) throw new IOException("bad file name " + name);
        Files.createDirectories(target.getParent());
        Files.copy(in, target);
    }

    /**
     * Removes the folders in base left by JVMs that have ended: those of user me whose lock is
     * free and that are older than {@link #SETTLING}, never this JVM's own. Anything it cannot
     * decide about is kept.
     */
    static void removeLeftBehind(Path base, UserPrincipal me, Instant now) {
        try (DirectoryStream<Path> folders = Files.newDirectoryStream(base, PREFIX + "*")) {
            for (Path folder : folders) {
                if (anotherJvms(folder, me) && leftBehind(folder, now)) deleteQuietly(folder);
            }
        } catch (IOException | RuntimeException unreadable) {
            // another day
        }
    }

    // Another JVM's folder of user me: not this JVM's, and a real folder rather than a link.
    private static boolean anotherJvms(Path folder, UserPrincipal me) {
        return !OURS.contains(folder.toAbsolutePath().normalize()) && Files.isDirectory(folder, LinkOption.NOFOLLOW_LINKS)
                && me != null && me.equals(owner(folder));
    }

    private static boolean leftBehind(Path folder, Instant now) throws IOException {
        Path lockFile = folder.resolve(LOCK);
        Path aged = Files.exists(lockFile, LinkOption.NOFOLLOW_LINKS) ? lockFile : folder;
        if (Files.getLastModifiedTime(aged, LinkOption.NOFOLLOW_LINKS).toInstant().plus(SETTLING).isAfter(now))
            return false;
        if (aged == folder) return true;  // its JVM ended before it could lock it
        try (FileChannel channel = FileChannel.open(lockFile, StandardOpenOption.WRITE);
             FileLock free = channel.tryLock()) {
            return free != null;
        } catch (OverlappingFileLockException heldHere) {
            return false;
        }
    }

    private static UserPrincipal owner(Path path) {
        try {
            return Files.getOwner(path, LinkOption.NOFOLLOW_LINKS);
        } catch (IOException | UnsupportedOperationException unknown) {
            return null;
        }
    }

    private static boolean posix(Path path) {
        return path.getFileSystem().supportedFileAttributeViews().contains("posix");
    }

    private static FileAttribute<?> ownerOnly() {
        return PosixFilePermissions.asFileAttribute(PosixFilePermissions.fromString("rwx------"));
    }

    static void deleteQuietly(Path folder) {
        try (Stream<Path> paths = Files.walk(folder)) {
            paths.sorted(Comparator.reverseOrder()).forEach(path -> {
                try {
                    Files.deleteIfExists(path);
                } catch (IOException stays) {
                    // the rest still goes
                }
            });
        } catch (IOException | RuntimeException gone) {
            // nothing left to delete
        }
    }
}
