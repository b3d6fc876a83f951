package com.kestra.MobileBarcodeScannerPackage;

import android.app.Activity;
import android.content.pm.PackageManager;
import android.os.Build;
import java.util.ArrayList;
import java.util.List;

/**
 * The run-time permissions the phone's Bluetooth scanners need, by API level. Serial-port and
 * Low Energy scanners are asked for in one request: a second request while the first one's
 * dialog is on screen would be dropped by the system.
 */
final class BluetoothPermissions {
    // Constant texts: the platform's Manifest.permission constants for the first two do not
    // exist before API 31.
    static final String CONNECT = "android.permission.BLUETOOTH_CONNECT";
    static final String SCAN = "android.permission.BLUETOOTH_SCAN";
    static final String FINE_LOCATION = "android.permission.ACCESS_FINE_LOCATION";
    static final int REQUEST_CODE = 0x4B53;
    private static final int API_PERMISSIONS_AT_RUN_TIME = 23;
    private static final int API_NEARBY_DEVICES = 31;

    private BluetoothPermissions() {}

    /**
     * From API 31 on, connecting needs BLUETOOTH_CONNECT and searching for LE devices needs
     * BLUETOOTH_SCAN (both shown as "Nearby devices"); from 23 to 30 a search needs the location
     * permission, and the manifest's BLUETOOTH permissions cover the rest; below 23 the manifest
     * grants everything at install.
     */
    static boolean granted(Activity activity, String permission) {
        int level = Build.VERSION.SDK_INT;
        if (level < API_PERMISSIONS_AT_RUN_TIME
                || (level < API_NEARBY_DEVICES && !permission.equals(FINE_LOCATION))) {
            return true;
        }
        // Without an activity there is nothing to ask: the call that needs the permission is
        // made, and a refusal shows as its SecurityException, reported as refused there.
        return activity == null || activity.checkSelfPermission(permission) == PackageManager.PERMISSION_GRANTED;
    }

    /** Whether a search for LE scanners may run now. */
    static boolean mayScan(Activity activity) {
        return granted(activity, Build.VERSION.SDK_INT >= API_NEARBY_DEVICES ? SCAN : FINE_LOCATION);
    }

    /** The permissions to ask for that are missing now. */
    static String[] missing(Activity activity) {
        String[] wanted = Build.VERSION.SDK_INT >= API_NEARBY_DEVICES ? new String[] {CONNECT, SCAN}
                : new String[] {FINE_LOCATION};
        List<String> missing = new ArrayList<String>();
        for (String permission : wanted) {
            if (!granted(activity, permission)) {
                missing.add(permission);
            }
        }
        return missing.toArray(new String[0]);
    }
}
