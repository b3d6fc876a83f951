package android.view;

/** Declaration of the platform's window, for compiling the peer only; see android.app.Activity. */
public abstract class Window {
    /**
     * The window's callback. Of its members only the one the peer calls is declared: the peer
     * implements the interface as a proxy, which forwards every member the running system has.
     */
    public interface Callback {
        boolean dispatchKeyEvent(KeyEvent event);
    }

    public final Callback getCallback() {
        throw new UnsupportedOperationException("declaration only");
    }

    public void setCallback(Callback callback) {
        throw new UnsupportedOperationException("declaration only");
    }
}
