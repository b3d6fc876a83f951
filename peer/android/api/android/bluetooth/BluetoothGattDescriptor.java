package android.bluetooth;

/** Declaration for compiling the peer only; see android.app.Activity. Since API 18. */
public class BluetoothGattDescriptor {
    // Not constants to the compiler: arrays are read from the platform's class at run time.
    public static final byte[] ENABLE_NOTIFICATION_VALUE = declaredOnly();
    public static final byte[] ENABLE_INDICATION_VALUE = declaredOnly();

    private BluetoothGattDescriptor() {}

    /** Deprecated in API 33: the value goes with the write from then on. */
    public boolean setValue(byte[] value) {
        throw new UnsupportedOperationException("declaration only");
    }

    private static byte[] declaredOnly() {
        throw new UnsupportedOperationException("declaration only");
    }
}
