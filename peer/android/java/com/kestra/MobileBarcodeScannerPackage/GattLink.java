package com.kestra.MobileBarcodeScannerPackage;

import android.app.Activity;
import android.bluetooth.BluetoothDevice;
import android.bluetooth.BluetoothGatt;
import android.bluetooth.BluetoothGattCallback;
import android.bluetooth.BluetoothGattCharacteristic;
import android.bluetooth.BluetoothGattDescriptor;
import android.bluetooth.BluetoothProfile;
import android.os.Build;
import java.io.IOException;

/**
 * The open link to one Bluetooth LE scanner: a GATT client that connects, finds the scanner's
 * serial service (LeServices), switches its notifications on, asks for a larger MTU, and hands
 * the notifications' payloads on as one byte stream, the same as a serial scanner's.
 *
 * The platform calls the callback on its binder threads. There the link only records answers
 * and queues bytes under its short lock: it never blocks and never calls the host. The thread
 * that connects waits for each answer in turn, all within one deadline; the reader takes the
 * queued bytes (NotificationStream), and for TIO grants the scanner new credits as it takes
 * them. Closing, from any thread, disconnects and closes the GATT client at once and ends a
 * connect or a read.
 */
final class GattLink extends NotificationStream {
    private static final int API_TRANSPORT_CHOICE = 23; // connectGatt with a transport
    private static final int API_VALUE_WITH_CALL = 33; // values passed with writes and callbacks

    private final BluetoothDevice device;
    private final Activity activity;
    private final String name;
    private final Callback callback = new Callback();

    // Under lock: written by binder threads, the connecting thread, the reader and close.
    private BluetoothGatt gatt;
    private boolean connected;
    private Integer answer; // the status of the answer awaited; null until it comes
    private BluetoothGattCharacteristic data; // null until notifications are on
    private BluetoothGattCharacteristic creditsOut; // TIO only
    private int mtu = 23;

    private GattLink(BluetoothDevice device, Activity activity, String name) {
        this.device = device;
        this.activity = activity;
        this.name = name;
    }

    /**
     * Connects and returns the open link, or throws with the step that failed in words.
     * `started` receives the link before the first step, so that another thread can close it.
     */
    static GattLink open(BluetoothDevice device, Activity activity, String name, int seconds,
            Started started) throws IOException {
        GattLink link = new GattLink(device, activity, name);
        started.started(link);
        try {
            link.connect(System.nanoTime() + seconds * 1000000000L, seconds);
            return link;
        } catch (IOException e) {
            link.close();
            throw e;
        } catch (SecurityException e) {
            link.close();
            throw BluetoothTransport.permissionRefused();
        }
    }

    interface Started {
        void started(GattLink link);
    }

    private void connect(long deadline, int seconds) throws IOException {
        Steps steps = new Steps(deadline, seconds);
        steps.begin("connecting");
        if (closed()) {
            throw new IOException("closed while connecting");
        }
        BluetoothGatt client = Build.VERSION.SDK_INT >= API_TRANSPORT_CHOICE
                ? device.connectGatt(activity, false, callback, BluetoothDevice.TRANSPORT_LE)
                : device.connectGatt(activity, false, callback);
        if (client == null) {
            throw new IOException("the phone's Bluetooth did not start a connection");
        }
        synchronized (lock) {
            gatt = client;
        }
        if (closed()) {
            closeClient(); // closed while connectGatt ran: nothing else will close this client
        }
        steps.awaitConnected();

        steps.begin("discovering services");
        steps.require(client.discoverServices());
        steps.awaitSuccess();
        LeServices.Choice choice = LeServices.choose(client.getServices());

        // The scanner may send as soon as its notifications are on, before their answer is in.
        synchronized (lock) {
            data = choice.data;
            creditsOut = choice.creditsOut;
            if (creditsOut != null) {
                countCredits();
            }
        }
        steps.begin("switching notifications on");
        enableNotifications(client, choice.data, steps);
        if (choice.creditsOut != null) {
            if (choice.creditsIn != null) {
                steps.begin("switching TIO credit indications on");
                enableNotifications(client, choice.creditsIn, steps);
            }
            steps.begin("granting TIO credits");
            int grant;
            synchronized (lock) {
                grant = firstGrant();
            }
            steps.require(write(client, choice.creditsOut, new byte[] {(byte) grant}));
            steps.awaitSuccess();
        }

        // A larger MTU lets a scanner send a barcode in fewer notifications; a phone or scanner
        // that refuses it leaves 20 bytes per notification, which works all the same.
        steps.begin("asking for a larger MTU");
        if (client.requestMtu(MTU_WANTED)) {
            steps.await();
        }
        MobileBarcodeScanner.trace("LE " + name + " reads its " + choice.service + " service at MTU " + mtu());
    }

    private void enableNotifications(BluetoothGatt client, BluetoothGattCharacteristic characteristic, Steps steps)
            throws IOException {
        BluetoothGattDescriptor configuration = characteristic.getDescriptor(LeServices.CLIENT_CONFIGURATION);
        if (configuration == null) {
            throw new IOException(steps.step + " failed: the characteristic has no client configuration descriptor");
        }
        steps.require(client.setCharacteristicNotification(characteristic, true));
        byte[] value = (characteristic.getProperties() & BluetoothGattCharacteristic.PROPERTY_NOTIFY) != 0
                ? BluetoothGattDescriptor.ENABLE_NOTIFICATION_VALUE
                : BluetoothGattDescriptor.ENABLE_INDICATION_VALUE;
        if (Build.VERSION.SDK_INT >= API_VALUE_WITH_CALL) {
            steps.require(client.writeDescriptor(configuration, value) == STATUS_SUCCESS);
        } else {
            configuration.setValue(value);
            steps.require(client.writeDescriptor(configuration));
        }
        steps.awaitSuccess();
    }

    private static boolean write(BluetoothGatt client, BluetoothGattCharacteristic characteristic, byte[] value) {
        if (Build.VERSION.SDK_INT >= API_VALUE_WITH_CALL) {
            return client.writeCharacteristic(characteristic, value, BluetoothGattCharacteristic.WRITE_TYPE_DEFAULT)
                    == STATUS_SUCCESS;
        }
        characteristic.setWriteType(BluetoothGattCharacteristic.WRITE_TYPE_DEFAULT);
        characteristic.setValue(value);
        return client.writeCharacteristic(characteristic);
    }

    /** The connect's steps: each one's call, then its answer, all before one deadline. */
    private final class Steps {
        private final long deadline;
        private final int seconds;
        String step;

        Steps(long deadline, int seconds) {
            this.deadline = deadline;
            this.seconds = seconds;
        }

        void begin(String next) {
            step = next;
            synchronized (lock) {
                answer = null;
            }
        }

        void require(boolean started) throws IOException {
            if (!started) {
                throw new IOException(step + " failed: the phone's Bluetooth refused to start it");
            }
        }

        void awaitConnected() throws IOException {
            synchronized (lock) {
                while (!connected) {
                    waitOnce();
                }
            }
        }

        void awaitSuccess() throws IOException {
            int status = await();
            if (status != STATUS_SUCCESS) {
                throw new IOException(step + " failed (status " + status + ")");
            }
        }

        int await() throws IOException {
            synchronized (lock) {
                while (answer == null) {
                    waitOnce();
                }
                return answer;
            }
        }

        // Under lock: one wait, or the reason the connect ends.
        private void waitOnce() throws IOException {
            if (closed) {
                throw new IOException("closed while " + step);
            }
            if (lostStatus >= 0) {
                throw new IOException("the link dropped while " + step + ": " + describe(lostStatus));
            }
            long left = (deadline - System.nanoTime()) / 1000000L;
            if (left <= 0) {
                throw new IOException("no answer within " + seconds + " s while " + step
                        + ": the scanner is switched off, out of range or connected to another phone");
            }
            try {
                lock.wait(left);
            } catch (InterruptedException e) {
                Thread.currentThread().interrupt();
                throw new IOException("interrupted while " + step);
            }
        }
    }

    // A permission withdrawn while reading ends the link, as a lost link does.
    @Override
    boolean writeCredits(int count) throws IOException {
        BluetoothGatt client;
        BluetoothGattCharacteristic credits;
        synchronized (lock) {
            client = gatt;
            credits = creditsOut;
        }
        try {
            return client != null && write(client, credits, new byte[] {(byte) count});
        } catch (RuntimeException e) {
            throw new IOException("granting TIO credits failed: " + e.getMessage());
        }
    }

    // A blocked read waits on the lock, so closing the client and waking it ends the read.
    @Override
    protected void wakeRead() {
        closeClient();
    }

    @Override
    protected void release() {
        closeClient();
    }

    private boolean closed() {
        synchronized (lock) {
            return closed;
        }
    }

    /** Disconnects and closes the GATT client, once, from any thread; no callback follows. */
    private void closeClient() {
        BluetoothGatt client;
        markClosed();
        synchronized (lock) {
            client = gatt;
            gatt = null;
        }
        if (client != null) {
            try {
                client.disconnect();
                client.close();
            } catch (RuntimeException e) {
                // A permission withdrawn meanwhile: there is nothing more to release.
            }
        }
    }

    /** The MTU agreed with the scanner (23 until a larger one is). */
    private int mtu() {
        synchronized (lock) {
            return mtu;
        }
    }

    /** Runs on the platform's binder threads: records and queues under the lock, nothing more. */
    private final class Callback extends BluetoothGattCallback {
        @Override
        public void onConnectionStateChange(BluetoothGatt client, int status, int newState) {
            synchronized (lock) {
                if (newState == BluetoothProfile.STATE_CONNECTED && status == STATUS_SUCCESS) {
                    connected = true;
                } else if (newState == BluetoothProfile.STATE_DISCONNECTED || status != STATUS_SUCCESS) {
                    lost(status);
                }
                lock.notifyAll();
            }
        }

        @Override
        public void onServicesDiscovered(BluetoothGatt client, int status) {
            answered(status);
        }

        @Override
        public void onDescriptorWrite(BluetoothGatt client, BluetoothGattDescriptor descriptor, int status) {
            answered(status);
        }

        @Override
        public void onCharacteristicWrite(BluetoothGatt client, BluetoothGattCharacteristic characteristic,
                int status) {
            synchronized (lock) {
                grantAnswered(status);
                answer = status;
            }
        }

        @Override
        public void onMtuChanged(BluetoothGatt client, int agreed, int status) {
            synchronized (lock) {
                if (status == STATUS_SUCCESS) {
                    mtu = agreed;
                }
                answer = status;
                lock.notifyAll();
            }
        }

        // Before API 33 the value is the characteristic's, which the next notification overwrites:
        // it is copied at once. From API 33 on the system calls the variant below instead.
        @Override
        public void onCharacteristicChanged(BluetoothGatt client, BluetoothGattCharacteristic characteristic) {
            if (Build.VERSION.SDK_INT < API_VALUE_WITH_CALL) {
                byte[] value = characteristic.getValue();
                received(characteristic, value == null ? null : value.clone());
            }
        }

        @Override
        public void onCharacteristicChanged(BluetoothGatt client, BluetoothGattCharacteristic characteristic,
                byte[] value) {
            received(characteristic, value);
        }

        private void received(BluetoothGattCharacteristic characteristic, byte[] value) {
            synchronized (lock) {
                if (data != null && data.getUuid().equals(characteristic.getUuid())) {
                    notified(value);
                } // else not the scanner's bytes (TIO's credit indications, say)
            }
        }

        private void answered(int status) {
            synchronized (lock) {
                answer = status;
                lock.notifyAll();
            }
        }
    }
}
