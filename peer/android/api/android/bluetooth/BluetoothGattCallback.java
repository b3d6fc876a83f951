package android.bluetooth;

/** Declaration for compiling the peer only; see android.app.Activity. Since API 18. */
public abstract class BluetoothGattCallback {
    public BluetoothGattCallback() {}

    public void onConnectionStateChange(BluetoothGatt gatt, int status, int newState) {}

    public void onServicesDiscovered(BluetoothGatt gatt, int status) {}

    public void onCharacteristicWrite(BluetoothGatt gatt, BluetoothGattCharacteristic characteristic, int status) {}

    /** Deprecated in API 33 for the variant below, which the system calls from then on. */
    public void onCharacteristicChanged(BluetoothGatt gatt, BluetoothGattCharacteristic characteristic) {}

    /** Since API 33. */
    public void onCharacteristicChanged(BluetoothGatt gatt, BluetoothGattCharacteristic characteristic,
            byte[] value) {}

    public void onDescriptorWrite(BluetoothGatt gatt, BluetoothGattDescriptor descriptor, int status) {}

    /** Since API 21. */
    public void onMtuChanged(BluetoothGatt gatt, int mtu, int status) {}
}
