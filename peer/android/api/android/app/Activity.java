package android.app;

import android.content.Context;
import android.content.SharedPreferences;
import android.view.Window;

/**
 * Declaration of the platform's activity, for compiling the peer only (never shipped, never run:
 * an app compiles the peer against its own SDK). Only the members the peer uses are declared,
 * with the signatures of the public API reference; the classes between Activity and Context
 * are left out, which changes nothing in the calls compiled against it.
 */
public class Activity extends Context {
    /** Since API 23. */
    public final void requestPermissions(String[] permissions, int requestCode) {
        throw new UnsupportedOperationException("declaration only");
    }

    public final void runOnUiThread(Runnable action) {
        throw new UnsupportedOperationException("declaration only");
    }

    public Window getWindow() {
        throw new UnsupportedOperationException("declaration only");
    }

    /** Since API 17. */
    public boolean isDestroyed() {
        throw new UnsupportedOperationException("declaration only");
    }

    @Override
    public int checkSelfPermission(String permission) {
        throw new UnsupportedOperationException("declaration only");
    }

    @Override
    public SharedPreferences getSharedPreferences(String name, int mode) {
        throw new UnsupportedOperationException("declaration only");
    }
}
