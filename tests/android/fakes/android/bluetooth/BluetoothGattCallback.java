package android.bluetooth;

/**
 * Fake for the desktop tests. As on a phone of API 33 and later, the variant with the value
 * calls the older one unless a subclass overrides it.
 */
public abstract class BluetoothGattCallback {
    public BluetoothGattCallback() {}

    public void onConnectionStateChange(BluetoothGatt gatt, int status, int newState) {}

    public void onServicesDiscovered(BluetoothGatt gatt, int status) {}

    public void onCharacteristicWrite(BluetoothGatt gatt, BluetoothGattCharacteristic characteristic, int status) {}

    public void onCharacteristicChanged(BluetoothGatt gatt, BluetoothGattCharacteristic characteristic) {}

    public void onCharacteristicChanged(BluetoothGatt gatt, BluetoothGattCharacteristic characteristic,
            byte[] value) {
        onCharacteristicChanged(gatt, characteristic);
    }

    public void onDescriptorWrite(BluetoothGatt gatt, BluetoothGattDescriptor descriptor, int status) {}

    public void onMtuChanged(BluetoothGatt gatt, int mtu, int status) {}
}
