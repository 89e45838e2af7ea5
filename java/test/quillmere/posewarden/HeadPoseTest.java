package quillmere.posewarden;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import org.junit.jupiter.api.Test;

class HeadPoseTest {
    private static double[][] about(int axis, double degrees) {
        double c = Math.cos(Math.toRadians(degrees)), s = Math.sin(Math.toRadians(degrees));
        switch (axis) {
            case 0: return new double[][] {{1, 0, 0}, {0, c, -s}, {0, s, c}};
            case 1: return new double[][] {{c, 0, s}, {0, 1, 0}, {-s, 0, c}};
            default: return new double[][] {{c, -s, 0}, {s, c, 0}, {0, 0, 1}};
        }
    }

    private static double[][] times(double[][] a, double[][] b) {
        double[][] product = new double[3][3];
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                for (int k = 0; k < 3; ++k) product[i][j] += a[i][k] * b[k][j];
        return product;
    }

    private static HeadPose pose(double yaw, double pitch, double roll) {
        double[][] r = times(times(about(1, yaw), about(0, pitch)), about(2, roll));
        HeadPose pose = new HeadPose();
        pose.x1 = r[0][0];
        pose.x2 = r[1][0];
        pose.x3 = r[2][0];
        pose.y1 = r[0][1];
        pose.y2 = r[1][1];
        pose.y3 = r[2][1];
        pose.z1 = r[0][2];
        pose.z2 = r[1][2];
        pose.z3 = r[2][2];
        return pose;
    }

    private static double[] apply(HeadPose pose, double... point) {
        double[][] r = pose.rotation();
        double[] moved = new double[3];
        for (int i = 0; i < 3; ++i) moved[i] = r[i][0] * point[0] + r[i][1] * point[1] + r[i][2] * point[2];
        return moved;
    }

    @Test
    void yawPitchAndRollAreRecoveredFromTheRotationTheyCompose() {
        for (double yaw = -175; yaw < 180; yaw += 35)
            for (double pitch = -85; pitch < 90; pitch += 17)
                for (double roll = -170; roll < 180; roll += 40) {
                    HeadPose pose = pose(yaw, pitch, roll);
                    assertEquals(yaw, pose.yawDegrees(), 1e-9);
                    assertEquals(pitch, pose.pitchDegrees(), 1e-9);
                    assertEquals(roll, pose.rollDegrees(), 1e-9);
                }
        HeadPose locked = pose(30, 90, 0);
        assertEquals(30, locked.yawDegrees(), 1e-6);
        assertEquals(90, locked.pitchDegrees(), 1e-6);
        assertEquals(0, locked.rollDegrees(), 1e-6);
    }

    @Test
    void positiveAnglesTurnTheFaceAsDocumentedInTheYDownFrame() {
        double[] nose = {0, 0, -1};  // towards the camera
        double[] crown = {0, -1, 0};  // up
        assertTrue(apply(pose(10, 0, 0), nose)[0] < 0, "yaw: nose towards the image's left");
        assertTrue(apply(pose(0, 10, 0), nose)[1] > 0, "pitch: nose down");
        assertTrue(apply(pose(0, 0, 10), crown)[0] > 0, "roll: crown towards the image's right");
        assertEquals(10, pose(10, 0, 0).rotationAngleDegrees(), 1e-9);
    }

    @Test
    void aNewPoseIsTheIdentityAndItsArraysFollowTheFieldLayout() {
        HeadPose pose = new HeadPose();
        assertArrayEquals(new double[] {1, 0, 0}, pose.rotation()[0]);
        assertEquals(0, pose.rotationAngleDegrees());
        pose.x2 = 2;  // row 2, column 1
        pose.y1 = 3;  // row 1, column 2
        pose.z3 = 4;
        pose.t1 = 5;
        pose.t3 = 6;
        pose.o2 = 7;
        assertEquals(2, pose.rotation()[1][0]);
        assertEquals(3, pose.rotation()[0][1]);
        assertEquals(4, pose.rotation()[2][2]);
        assertArrayEquals(new double[] {5, 0, 6}, pose.translation());
        assertArrayEquals(new double[] {0, 7, 0}, pose.centroid());
        assertTrue(pose.toString().contains("t (5.0, 0.0, 6.0) mm"), pose.toString());
    }
}
