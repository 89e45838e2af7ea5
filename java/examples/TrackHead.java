import quillmere.posewarden.HeadPose;
import quillmere.posewarden.HeadPoseTracker;

public class TrackHead {
    public static void main(String[] args) {
        HeadPoseTracker tracker = new HeadPoseTracker();    // loads the library from the jar
        tracker.initTracker(HeadPoseTracker.configDirectory(args[0]));
        HeadPose pose = new HeadPose();
        for (int frame = 1; frame <= 100; ++frame) {
            boolean tracking = tracker.updateImage();       // false while it looks for the face
            tracker.getHeadPose(pose);
            System.out.println("frame " + frame + ": " + (tracking ? pose : "looking for the face"));
        }
        tracker.closeTracker();
    }
}
