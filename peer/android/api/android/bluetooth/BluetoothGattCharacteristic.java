package android.bluetooth;

import java.util.UUID;

/** Declaration for compiling the peer only; see android.app.Activity. Since API 18. */
public class BluetoothGattCharacteristic {
    public static final int PROPERTY_WRITE_NO_RESPONSE = 0x04;
    public static final int PROPERTY_WRITE = 0x08;
    public static final int PROPERTY_NOTIFY = 0x10;
    public static final int PROPERTY_INDICATE = 0x20;
    public static final int WRITE_TYPE_DEFAULT = 0x02;

    private BluetoothGattCharacteristic() {}

    public UUID getUuid() {
        throw new UnsupportedOperationException("declaration only");
    }

    public int getProperties() {
        throw new UnsupportedOperationException("declaration only");
    }

    public BluetoothGattDescriptor getDescriptor(UUID uuid) {
        throw new UnsupportedOperationException("declaration only");
    }

    /** Deprecated in API 33: the value comes with the callback from then on. */
    public byte[] getValue() {
        throw new UnsupportedOperationException("declaration only");
    }

    /** Deprecated in API 33: the value goes with the write from then on. */
    public boolean setValue(byte[] value) {
        throw new UnsupportedOperationException("declaration only");
    }

    public void setWriteType(int writeType) {
        throw new UnsupportedOperationException("declaration only");
    }
}
