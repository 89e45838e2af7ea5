package quillmere.posewarden;

import java.io.File;

/**
 * Follows the head of a person in front of a stereo camera, through the native library
 * {@code libVantorel.so}.
 *
 * <p>Call {@link #initTracker} once with a configuration directory, then {@link #updateImage}
 * once per camera frame; read the current pose with {@link #getHeadPose} whenever you like; force
 * a new face search with {@link #reacquireImage}; finish with {@link #closeTracker}. The tracker
 * first looks for a face (detecting, {@code updateImage} returns false); once the same face has
 * been seen in a few consecutive frames it tracks the head ({@code updateImage} returns true)
 * until the motion becomes implausible or the face leaves its region, and then searches again.
 *
 * <p>There is one tracker per process: every instance of this class drives the same native
 * context, and a second {@code initTracker} closes the one it replaces. The methods may be called
 * from several threads; they run one at a time. Before {@code initTracker} and after
 * {@code closeTracker} they do nothing ({@code updateImage} and {@code hasNewFrame} return false).
 * A program may end at any time, whatever its threads are doing in the tracker.
 *
 * <p>The library is loaded when the class is first used: from the first folder on
 * {@code java.library.path} that holds {@code libVantorel.so}, else from the copy inside
 * {@code vantorel.jar}, which is extracted with the face classifier into a private folder under
 * {@code java.io.tmpdir} and deleted when the JVM exits. Either way the library finds its face
 * classifier by itself; the environment variable {@code VANTOREL_CLASSIFIER} names another one.
 * When the library or one it needs (OpenCV, LAPACK, BLAS) is missing, the
 * {@link UnsatisfiedLinkError} says which and what to do.
 */
public class HeadPoseTracker {
    /** The name given to {@link System#loadLibrary}. */
    public static final String LIBRARY_NAME = "Vantorel";

    static {
        NativeLibrary.load(LIBRARY_NAME);
    }

    /**
     * Builds the tracker from the configuration directory: "Param.cfg" (camera and default face
     * region), "ParamInit.cfg" (face detection) and "ParamTrackerZBCCE.cfg" (tracking and output
     * files). The file names are appended to {@code configDir} as it is, so it must end with a
     * separator (see {@link #configDirectory}). A file that does not open is reported on the
     * standard error stream and its part runs on defaults; a null directory opens nothing. The
     * camera is opened and its first frame grabbed.
     */
    public native void initTracker(String configDir);

    /**
     * One step: grabs the next frame and either searches it for a face or tracks the head in it.
     * When no new frame comes (a recording has ended, a frame file is missing or unreadable, a
     * live camera timed out) the step changes nothing: the state and the pose stay as they were,
     * and {@link #hasNewFrame} answers false. The cause is printed once for a run of such steps.
     *
     * @return true when the tracker is tracking after this step, false while it is detecting
     */
    public native boolean updateImage();

    /**
     * Whether the latest grab brought a new frame: that of the last {@link #updateImage} or
     * {@link #reacquireImage} (or of {@link #initTracker}, before either), whichever thread made
     * it. False without a tracker. A loop over a recording ends when this turns false:
     *
     * <pre>{@code
     * while (true) {
     *     boolean tracking = tracker.updateImage();
     *     if (!tracker.hasNewFrame()) break;  // the recording has ended (or the camera failed)
     *     ...
     * }
     * }</pre>
     */
    public native boolean hasNewFrame();

    /**
     * Writes the pose of the newest frame into the fifteen {@code double} fields o1 o2 o3 t1 t2 t3
     * x1 x2 x3 y1 y2 y3 z1 z2 z3 of {@code pose}, usually a {@link HeadPose}. Fields its class
     * lacks are skipped; a null pose is ignored.
     */
    public native void getHeadPose(Object pose);

    /** Drops the current face and starts detecting again from a newly grabbed frame. */
    public native void reacquireImage();

    /**
     * Closes the camera and the output files and frees the tracker. A program that ends without
     * it (System.exit, or main returning while daemon threads still call the tracker) ends all the
     * same; the output files are closed then when no call is still running a few seconds later.
     */
    public native void closeTracker();

    /** The pose of the newest frame as a new {@link HeadPose}. */
    public HeadPose currentPose() {
        HeadPose pose = new HeadPose();
        getHeadPose(pose);
        return pose;
    }

    /** {@code folder} as {@link #initTracker} wants it: with a trailing separator. */
    public static String configDirectory(String folder) {
        if (folder.isEmpty()) return "." + File.separator;
        return folder.endsWith(File.separator) || folder.endsWith("/") ? folder : folder + File.separator;
    }
}
