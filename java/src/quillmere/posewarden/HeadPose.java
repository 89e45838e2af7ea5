package quillmere.posewarden;

import java.util.Locale;

/**
 * The head pose that {@link HeadPoseTracker#getHeadPose} fills: a rigid motion and the centre of
 * the face.
 *
 * <p><b>Coordinate frame and units.</b> Everything is expressed in the frame of the camera's 3D
 * images, in their unit. Recorded X, Y, Z files, recorded IFF files and the live camera give
 * millimetres with X to the right, Y down and Z forward (away from the camera), origin at the
 * left camera; recordings turned into 3D from their disparity images have Y pointing up instead.
 * Nothing is scaled or flipped on the way.
 *
 * <p><b>What the pose means.</b> The rotation R (columns {@code x}, {@code y}, {@code z}) and the
 * translation t map a point p of the head as seen in the reference frame onto the same point in
 * the newest frame: {@code p' = R p + t}. The reference frame is the frame in which the face was
 * found; frames before tracking starts, and the frame grabbed when tracking is reset, carry the
 * identity. The rotation turns about the camera origin, so a head turning about its own centre c
 * also has {@code t = c - R c}.
 *
 * <p><b>Yaw, pitch and roll</b> are the angles, in degrees, of the decomposition
 * {@code R = Ry(yaw) Rx(pitch) Rz(roll)}, where {@code Ra(angle)} is the right-handed rotation
 * about the camera's axis a. Yaw and roll lie in (-180, 180], pitch in [-90, 90]. In the Y-down
 * frame, for a face looking at the camera: positive yaw (about the vertical axis) moves the nose
 * towards the image's left edge, positive pitch (about the horizontal axis) moves it down, and
 * positive roll (about the optical axis) tilts the top of the head towards the image's right edge,
 * clockwise in the image.
 */
public class HeadPose {
    /** Centroid of the face region's 3D points in the newest frame (0 when it has none). */
    public double o1, o2, o3;
    /** Translation t. */
    public double t1, t2, t3;
    /** First column of R: elements (1,1), (2,1), (3,1). */
    public double x1, x2, x3;
    /** Second column of R: elements (1,2), (2,2), (3,2). */
    public double y1, y2, y3;
    /** Third column of R: elements (1,3), (2,3), (3,3). */
    public double z1, z2, z3;

    /** The identity pose at the origin. */
    public HeadPose() {
        x1 = y2 = z3 = 1.0;
    }

    /** R by rows: {@code rotation()[row][column]}. */
    public double[][] rotation() {
        return new double[][] {{x1, y1, z1}, {x2, y2, z2}, {x3, y3, z3}};
    }

    /** t as {t1, t2, t3}. */
    public double[] translation() {
        return new double[] {t1, t2, t3};
    }

    /** The face centroid as {o1, o2, o3}. */
    public double[] centroid() {
        return new double[] {o1, o2, o3};
    }

    /** Rotation about the camera's Y axis, degrees (see the class comment). */
    public double yawDegrees() {
        if (gimbalLocked()) return Math.toDegrees(Math.atan2(-x3, x1));
        return Math.toDegrees(Math.atan2(z1, z3));
    }

    /** Rotation about the camera's X axis, degrees, in [-90, 90]. */
    public double pitchDegrees() {
        return Math.toDegrees(Math.asin(Math.max(-1.0, Math.min(1.0, -z2))));
    }

    /** Rotation about the camera's Z axis, degrees; 0 when pitch is +-90. */
    public double rollDegrees() {
        if (gimbalLocked()) return 0.0;
        return Math.toDegrees(Math.atan2(x2, y2));
    }

    /** The angle of R about its own axis, degrees, in [0, 180]. */
    public double rotationAngleDegrees() {
        double cosine = (x1 + y2 + z3 - 1.0) / 2.0;
        return Math.toDegrees(Math.acos(Math.max(-1.0, Math.min(1.0, cosine))));
    }

    // At pitch +-90 yaw and roll turn about the same axis: all of it is given to yaw.
    private boolean gimbalLocked() {
        return Math.abs(z2) > 1.0 - 1e-12;
    }

    @Override
    public String toString() {
        return String.format(Locale.ROOT,
                "HeadPose[yaw %.2f, pitch %.2f, roll %.2f deg; t (%.1f, %.1f, %.1f) mm;"
                        + " centroid (%.1f, %.1f, %.1f) mm]",
                yawDegrees(), pitchDegrees(), rollDegrees(), t1, t2, t3, o1, o2, o3);
    }
}
