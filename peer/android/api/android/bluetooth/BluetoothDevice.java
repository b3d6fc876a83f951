package android.bluetooth;

import android.content.Context;
import android.os.ParcelUuid;
import java.io.IOException;
import java.util.UUID;

/** Declaration for compiling the peer only; see android.app.Activity. */
public final class BluetoothDevice {
    public static final int BOND_BONDED = 12;
    public static final int DEVICE_TYPE_CLASSIC = 1;
    public static final int DEVICE_TYPE_LE = 2;
    public static final int DEVICE_TYPE_DUAL = 3;
    /** Since API 23. */
    public static final int TRANSPORT_LE = 2;

    private BluetoothDevice() {}

    public String getName() {
        throw new UnsupportedOperationException("declaration only");
    }

    public String getAddress() {
        throw new UnsupportedOperationException("declaration only");
    }

    public int getBondState() {
        throw new UnsupportedOperationException("declaration only");
    }

    public BluetoothSocket createRfcommSocketToServiceRecord(UUID uuid) throws IOException {
        throw new UnsupportedOperationException("declaration only");
    }

    /** Since API 10. */
    public BluetoothSocket createInsecureRfcommSocketToServiceRecord(UUID uuid) throws IOException {
        throw new UnsupportedOperationException("declaration only");
    }

    /** Since API 18. */
    public int getType() {
        throw new UnsupportedOperationException("declaration only");
    }

    /** The services found on the device when it was last asked; null when it never was. */
    public ParcelUuid[] getUuids() {
        throw new UnsupportedOperationException("declaration only");
    }

    /** Since API 18. */
    public BluetoothGatt connectGatt(Context context, boolean autoConnect, BluetoothGattCallback callback) {
        throw new UnsupportedOperationException("declaration only");
    }

    /** Since API 23. */
    public BluetoothGatt connectGatt(Context context, boolean autoConnect, BluetoothGattCallback callback,
            int transport) {
        throw new UnsupportedOperationException("declaration only");
    }
}
