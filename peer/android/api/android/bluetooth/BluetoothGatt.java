package android.bluetooth;

import java.util.List;

/** Declaration for compiling the peer only; see android.app.Activity. Since API 18. */
public final class BluetoothGatt implements BluetoothProfile {
    public static final int GATT_SUCCESS = 0;

    private BluetoothGatt() {}

    public boolean discoverServices() {
        throw new UnsupportedOperationException("declaration only");
    }

    public List<BluetoothGattService> getServices() {
        throw new UnsupportedOperationException("declaration only");
    }

    public boolean setCharacteristicNotification(BluetoothGattCharacteristic characteristic, boolean enable) {
        throw new UnsupportedOperationException("declaration only");
    }

    /** Deprecated in API 33 for the variant below. */
    public boolean writeDescriptor(BluetoothGattDescriptor descriptor) {
        throw new UnsupportedOperationException("declaration only");
    }

    /** Since API 33; returns a BluetoothStatusCodes value. */
    public int writeDescriptor(BluetoothGattDescriptor descriptor, byte[] value) {
        throw new UnsupportedOperationException("declaration only");
    }

    /** Deprecated in API 33 for the variant below. */
    public boolean writeCharacteristic(BluetoothGattCharacteristic characteristic) {
        throw new UnsupportedOperationException("declaration only");
    }

    /** Since API 33; returns a BluetoothStatusCodes value. */
    public int writeCharacteristic(BluetoothGattCharacteristic characteristic, byte[] value, int writeType) {
        throw new UnsupportedOperationException("declaration only");
    }

    /** Since API 21. */
    public boolean requestMtu(int mtu) {
        throw new UnsupportedOperationException("declaration only");
    }

    public void disconnect() {
        throw new UnsupportedOperationException("declaration only");
    }

    public void close() {
        throw new UnsupportedOperationException("declaration only");
    }
}
