package com.kestra.MobileBarcodeScannerPackage;

import android.app.Activity;
import android.bluetooth.BluetoothAdapter;
import android.bluetooth.BluetoothDevice;
import android.bluetooth.BluetoothServerSocket;
import android.bluetooth.BluetoothSocket;
import java.io.IOException;
import java.io.InputStream;
import java.util.ArrayList;
import java.util.List;
import java.util.Set;
import java.util.UUID;

/**
 * Bluetooth scanners in serial-port mode: the devices paired (bonded) with the phone, each
 * reached over RFCOMM with the serial-port service. Uses only what exists since API 21; the
 * runtime permission of API 31 and later is asked for through the activity.
 */
final class BluetoothTransport implements Transport {
    /** The serial-port profile's service class. */
    static final UUID SERIAL_PORT = UUID.fromString("00001101-0000-1000-8000-00805F9B34FB");
    /** How long a connect may take before OpenDevice gives up (a first connect looks up the service). */
    static final int CONNECT_SECONDS = 10;
    static final int PERMISSION_REQUEST = BluetoothPermissions.REQUEST_CODE;
    /** The name of the service record the phone offers while it waits for a scanner to connect. */
    static final String LISTEN_NAME = "Barcode scanner";
    // An accept that throws this close to its timeout has timed out.
    private static final long ACCEPT_EARLY_NANOS = 20 * 1000000L;


    private final Activity activity;

    BluetoothTransport(Activity activity) {
        this.activity = activity;
    }

    /**
     * Asks the user for the permissions missing, those of Low Energy scanners too, in one
     * request (BluetoothPermissions).
     */
    @Override
    public void prepare() {
        final String[] wanted = BluetoothPermissions.missing(activity);
        if (activity != null && wanted.length > 0) {
            // The request starts a screen of the system: from the user-interface thread.
            activity.runOnUiThread(new Runnable() {
                @Override
                public void run() {
                    activity.requestPermissions(wanted, PERMISSION_REQUEST);
                }
            });
        }
    }

    @Override
    public List<ScannerDevice> devices(List<String> problems) {
        List<ScannerDevice> devices = new ArrayList<ScannerDevice>();
        try {
            for (BluetoothDevice device : bondedDevices()) {
                // A device of Low Energy only has no serial port; the LE kind lists it.
                if (device.getType() != BluetoothDevice.DEVICE_TYPE_LE) {
                    devices.add(new Scanner(device));
                }
            }
            if (devices.isEmpty()) {
                problems.add("no Bluetooth device is paired with this phone: pair the scanner in the phone's"
                        + " Bluetooth settings first");
            }
        } catch (IOException e) {
            problems.add(e.getMessage());
        }
        return devices;
    }

    @Override
    public ScannerDevice find(String address) throws IOException {
        for (BluetoothDevice device : bondedDevices()) {
            if (address.equalsIgnoreCase(device.getAddress())) {
                return new Scanner(device);
            }
        }
        throw new IOException("the Bluetooth device " + address + " is not paired with this phone: pair it in the"
                + " phone's Bluetooth settings, then choose it again");
    }

    private Set<BluetoothDevice> bondedDevices() throws IOException {
        return bondedDevices(activity);
    }

    /** The devices bonded with the phone, of every kind; the exception says why there are none. */
    static Set<BluetoothDevice> bondedDevices(Activity activity) throws IOException {
        BluetoothAdapter adapter = usableAdapter(activity);
        Set<BluetoothDevice> bonded;
        try {
            bonded = adapter.getBondedDevices();
        } catch (SecurityException e) {
            throw permissionRefused();
        }
        // Null while Bluetooth is switching on or off.
        if (bonded == null) {
            throw new IOException("Bluetooth is not ready (it is switching on or off): try again in a moment");
        }
        return bonded;
    }

    private BluetoothAdapter usableAdapter() throws IOException {
        return usableAdapter(activity);
    }

    /** The phone's adapter when Bluetooth may be used now; the exception says why not. */
    static BluetoothAdapter usableAdapter(Activity activity) throws IOException {
        BluetoothAdapter adapter = BluetoothAdapter.getDefaultAdapter();
        if (adapter == null) {
            throw new IOException("this phone has no Bluetooth");
        }
        if (!BluetoothPermissions.granted(activity, BluetoothPermissions.CONNECT)) {
            throw permissionRefused();
        }
        if (!adapter.isEnabled()) {
            throw new IOException("Bluetooth is switched off: switch it on, then try again");
        }
        return adapter;
    }

    /** The system refused a Bluetooth call for want of the permission: no other connect can help. */
    private static final class PermissionRefused extends IOException {
        private static final long serialVersionUID = 1L;

        PermissionRefused(String message) {
            super(message);
        }
    }

    static IOException permissionRefused() {
        return new PermissionRefused("the app may not use Bluetooth devices: the permission \"Nearby devices\" was"
                + " refused; allow it in the app's settings, then try again");
    }

    private final class Scanner extends ScannerDevice {
        private final BluetoothDevice device;

        Scanner(BluetoothDevice device) {
            super(device.getAddress(), device.getName() != null ? device.getName() : device.getAddress());
            this.device = device;
        }

        @Override
        SourceStream connect() throws IOException {
            BluetoothAdapter adapter = usableAdapter();
            if (device.getBondState() != BluetoothDevice.BOND_BONDED) {
                throw new IOException("it is no longer paired with this phone: pair it again in the phone's"
                        + " Bluetooth settings");
            }
            // A discovery in progress slows a connect down or breaks it. Cancelling one needs the
            // scan permission from API 31 on; without it there is none of ours to cancel.
            if (BluetoothPermissions.granted(activity, BluetoothPermissions.SCAN)) {
                try {
                    adapter.cancelDiscovery();
                } catch (SecurityException e) {
                    // Connect all the same.
                }
            }
            // Many serial-port scanners take only an insecure link (no authenticated link key):
            // a secure connect that fails is tried again insecure, within the same deadline.
            long started = System.nanoTime();
            String secureFailure;
            try {
                return connectOnce(true, CONNECT_SECONDS);
            } catch (OpenDeadline.Expired e) {
                throw notInTime("a secure connect was tried");
            } catch (PermissionRefused e) {
                throw e;
            } catch (IOException e) {
                secureFailure = e.getMessage();
            }
            int elapsed = (int) ((System.nanoTime() - started + 999999999L) / 1000000000L);
            if (elapsed >= CONNECT_SECONDS) {
                throw notInTime("a secure connect was tried, and no time was left for an insecure one");
            }
            try {
                return connectOnce(false, CONNECT_SECONDS - elapsed);
            } catch (OpenDeadline.Expired e) {
                throw notInTime("a secure and an insecure connect were tried");
            } catch (IOException e) {
                throw new IOException("the scanner did not answer: it is switched off or out of range (secure connect: "
                        + secureFailure + "; insecure connect: " + e.getMessage() + ")");
            }
        }

        private SourceStream connectOnce(boolean secure, int seconds) throws IOException {
            final BluetoothSocket socket;
            try {
                socket = secure ? device.createRfcommSocketToServiceRecord(SERIAL_PORT)
                                : device.createInsecureRfcommSocketToServiceRecord(SERIAL_PORT);
            } catch (SecurityException e) {
                throw permissionRefused();
            }
            try {
                OpenDeadline.open(label(), seconds, new OpenDeadline.Opener<BluetoothSocket>() {
                    @Override
                    public BluetoothSocket open() throws IOException {
                        socket.connect();
                        return socket;
                    }
                }, BluetoothTransport::closeQuietly, new Runnable() {
                    @Override
                    public void run() {
                        closeQuietly(socket); // ends the blocked connect
                    }
                });
                return new Link(socket, socket.getInputStream());
            } catch (IOException e) {
                closeQuietly(socket);
                throw e;
            } catch (SecurityException e) {
                closeQuietly(socket);
                throw permissionRefused();
            }
        }

        /**
         * Some scanners connect to the phone themselves when they wake. The phone listens for the
         * serial-port service; a device other than this scanner that connects is refused.
         */
        @Override
        Incoming listen() throws IOException {
            BluetoothAdapter adapter = usableAdapter();
            final BluetoothServerSocket server;
            try {
                server = adapter.listenUsingRfcommWithServiceRecord(LISTEN_NAME, SERIAL_PORT);
            } catch (SecurityException e) {
                throw permissionRefused();
            }
            return new Incoming() {
                private volatile boolean closed;

                @Override
                public SourceStream accept(int millis) throws IOException {
                    long deadline = System.nanoTime() + millis * 1000000L;
                    for (long left = millis; left > 0 && !closed; left = (deadline - System.nanoTime()) / 1000000L) {
                        BluetoothSocket socket;
                        try {
                            socket = server.accept((int) left);
                        } catch (IOException e) {
                            // An accept whose time runs out throws as well.
                            if (closed || System.nanoTime() - deadline > -ACCEPT_EARLY_NANOS) {
                                return null;
                            }
                            throw e;
                        } catch (SecurityException e) {
                            throw permissionRefused();
                        }
                        BluetoothDevice remote = socket.getRemoteDevice();
                        if (remote != null && device.getAddress().equalsIgnoreCase(remote.getAddress())) {
                            try {
                                return new Link(socket, socket.getInputStream());
                            } catch (IOException e) {
                                closeQuietly(socket);
                                throw e;
                            }
                        }
                        closeQuietly(socket); // another device: refused
                    }
                    return null;
                }

                @Override
                public void close() {
                    closed = true;
                    try {
                        server.close();
                    } catch (IOException e) {
                        // Nothing more to release.
                    }
                }
            };
        }

        private IOException notInTime(String tried) {
            return new IOException("it did not connect within " + CONNECT_SECONDS
                    + " s (" + tried + "): the scanner is switched off, out of range or connected to another phone");
        }
    }

    private static final class Link extends SourceStream {
        private final BluetoothSocket socket;
        private final InputStream input;

        Link(BluetoothSocket socket, InputStream input) {
            this.socket = socket;
            this.input = input;
        }

        @Override
        int read(byte[] buffer) throws IOException {
            try {
                return input.read(buffer);
            } catch (IOException e) {
                if (stopped()) {
                    return 0;
                }
                throw new IOException("the Bluetooth link was lost (switched off or out of range): " + e.getMessage());
            }
        }

        // Closing the socket is what ends a blocked read.
        @Override
        protected void wakeRead() {
            closeQuietly(socket);
        }

        @Override
        protected void release() {
            closeQuietly(socket);
        }

        @Override
        String endReason() {
            return "the scanner closed the Bluetooth link";
        }
    }

    static void closeQuietly(BluetoothSocket socket) {
        try {
            socket.close();
        } catch (IOException e) {
            // Nothing more to release.
        }
    }
}
