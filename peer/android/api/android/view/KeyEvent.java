package android.view;

/**
 * Declaration of the platform's key event, for compiling the peer only; see
 * android.app.Activity. InputEvent, between Object and KeyEvent, is left out; getDevice is
 * InputEvent's there.
 */
public class KeyEvent {
    public static final int ACTION_DOWN = 0;
    public static final int ACTION_UP = 1;

    public final int getAction() {
        throw new UnsupportedOperationException("declaration only");
    }

    public final int getKeyCode() {
        throw new UnsupportedOperationException("declaration only");
    }

    public final int getScanCode() {
        throw new UnsupportedOperationException("declaration only");
    }

    public final int getMetaState() {
        throw new UnsupportedOperationException("declaration only");
    }

    public final int getRepeatCount() {
        throw new UnsupportedOperationException("declaration only");
    }

    public final int getDeviceId() {
        throw new UnsupportedOperationException("declaration only");
    }
}
