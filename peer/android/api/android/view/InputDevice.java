package android.view;

/** Declaration of the platform's input device, for compiling the peer only; see android.app.Activity. */
public final class InputDevice {
    public static final int SOURCE_KEYBOARD = 0x00000101;
    public static final int KEYBOARD_TYPE_ALPHABETIC = 2;

    public static int[] getDeviceIds() {
        throw new UnsupportedOperationException("declaration only");
    }

    public static InputDevice getDevice(int id) {
        throw new UnsupportedOperationException("declaration only");
    }

    /** Since API 16. */
    public String getDescriptor() {
        throw new UnsupportedOperationException("declaration only");
    }

    public String getName() {
        throw new UnsupportedOperationException("declaration only");
    }

    public int getSources() {
        throw new UnsupportedOperationException("declaration only");
    }

    public int getKeyboardType() {
        throw new UnsupportedOperationException("declaration only");
    }

    /** Since API 16. */
    public boolean isVirtual() {
        throw new UnsupportedOperationException("declaration only");
    }

    /** Since API 29. */
    public boolean isExternal() {
        throw new UnsupportedOperationException("declaration only");
    }
}
