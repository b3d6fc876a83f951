package android.view;

/**
 * Fake window for the desktop tests. Its callback has one member more than the key event, so
 * the tests see that a wrapper passes the others on.
 */
public class Window {
    public interface Callback {
        boolean dispatchKeyEvent(KeyEvent event);

        void onWindowFocusChanged(boolean hasFocus);
    }

    private volatile Callback callback; // set by the peer's threads and the test's

    public final Callback getCallback() {
        return callback;
    }

    public void setCallback(Callback callback) {
        this.callback = callback;
    }
}
