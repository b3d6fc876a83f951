package android.app;

import android.content.Context;
import android.content.SharedPreferences;
import android.view.Window;
import com.kestra.androidtest.FakeBluetooth;
import com.kestra.androidtest.FakeInput;

/**
 * Fake activity for the desktop tests of the peer: the permission state and the requests the
 * peer makes are FakeBluetooth's; its window, with the host's view as its callback, and whether
 * it was destroyed are FakeInput's. The constructor and getTitle are those of the shared
 * stand-in, which the test host calls.
 */
public class Activity extends Context {
    private final String title;
    private final Window window = new Window();
    private volatile boolean destroyed; // set by the test's thread

    public Activity(String title) {
        this.title = title;
        FakeInput.created(this);
    }

    public Window getWindow() {
        return window;
    }

    public boolean isDestroyed() {
        return destroyed;
    }

    public void destroy() {
        destroyed = true;
    }

    public String getTitle() {
        return title;
    }

    public final void requestPermissions(String[] permissions, int requestCode) {
        FakeBluetooth.permissionsRequested(permissions, requestCode);
    }

    /** Runs at once on the calling thread: the desktop has no user-interface thread. */
    public final void runOnUiThread(Runnable action) {
        action.run();
    }

    @Override
    public int checkSelfPermission(String permission) {
        return FakeBluetooth.permissionGranted(permission) ? 0 : -1;
    }

    /** The app's stored settings live as long as FakeBluetooth's phone: a reset clears them. */
    @Override
    public SharedPreferences getSharedPreferences(String name, int mode) {
        return FakeBluetooth.preferences(name);
    }
}
