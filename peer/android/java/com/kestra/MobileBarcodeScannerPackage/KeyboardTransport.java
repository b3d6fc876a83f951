package com.kestra.MobileBarcodeScannerPackage;

import android.app.Activity;
import android.os.Build;
import android.view.InputDevice;
import android.view.Window;
import java.io.IOException;
import java.util.ArrayList;
import java.util.HashMap;
import java.util.LinkedHashSet;
import java.util.List;
import java.util.Map;
import java.util.Set;
import java.util.concurrent.CountDownLatch;
import java.util.concurrent.TimeUnit;

/**
 * Scanners in keyboard mode: the external keyboards connected to the phone now (a scanner paired
 * in keyboard mode is one), read by capturing their keys in the host's activity (KeyCapture).
 *
 * A scanner's address is "hid:" and its input device descriptor, which stays the same when the
 * scanner disconnects and connects again and across restarts; the device id changes with every
 * connection, so a stored setting could not use it.
 */
final class KeyboardTransport implements Transport {
    static final String PREFIX = "hid:";
    /** How long the user-interface thread may take to install a capture. */
    static final int INSTALL_SECONDS = 5;
    /** How often an open scanner checks its keyboard and capture while no key comes. */
    static final long CHECK_MILLIS = 500;
    private static final int API_IS_EXTERNAL = 29;

    private final Activity activity;
    // The names of the keyboards listed so far, by descriptor, to name one that is not connected
    // now; on the host's thread.
    private final Map<String, String> names = new HashMap<String, String>();

    KeyboardTransport(Activity activity) {
        this.activity = activity;
    }

    @Override
    public void prepare() {}

    @Override
    public List<ScannerDevice> devices(List<String> problems) {
        List<ScannerDevice> devices = new ArrayList<ScannerDevice>();
        Set<String> listed = new LinkedHashSet<String>();
        for (InputDevice device : keyboards()) {
            // One scanner may show as several input devices with one descriptor.
            if (listed.add(device.getDescriptor())) {
                names.put(device.getDescriptor(), device.getName());
                devices.add(new Keyboard(device.getDescriptor(), device.getName()));
            }
        }
        return devices;
    }

    @Override
    public ScannerDevice find(String address) throws IOException {
        String descriptor = address.substring(PREFIX.length());
        if (descriptor.isEmpty()) {
            throw new IOException("the address '" + address + "' names no keyboard");
        }
        InputDevice device = connected(descriptor);
        if (device != null) {
            names.put(descriptor, device.getName());
        }
        return new Keyboard(descriptor, names.get(descriptor));
    }

    /** The external, real keyboards connected now. */
    private static List<InputDevice> keyboards() {
        List<InputDevice> keyboards = new ArrayList<InputDevice>();
        for (int id : InputDevice.getDeviceIds()) {
            InputDevice device = InputDevice.getDevice(id);
            if (device != null && isKeyboard(device)) {
                keyboards.add(device);
            }
        }
        return keyboards;
    }

    // The on-screen and other virtual keyboards are left out, and so are keys that type no text
    // (volume buttons, a headset's); before API 29 a keyboard built into the phone cannot be
    // told from an external one.
    private static boolean isKeyboard(InputDevice device) {
        return !device.isVirtual()
                && (device.getSources() & InputDevice.SOURCE_KEYBOARD) == InputDevice.SOURCE_KEYBOARD
                && device.getKeyboardType() == InputDevice.KEYBOARD_TYPE_ALPHABETIC
                && (Build.VERSION.SDK_INT < API_IS_EXTERNAL || device.isExternal())
                && device.getDescriptor() != null;
    }

    static InputDevice connected(String descriptor) {
        for (InputDevice device : keyboards()) {
            if (descriptor.equals(device.getDescriptor())) {
                return device;
            }
        }
        return null;
    }

    private boolean activityGone() {
        return activity.isDestroyed();
    }

    private final class Keyboard extends ScannerDevice {
        private final String descriptor;

        Keyboard(String descriptor, String name) {
            super(PREFIX + descriptor, name != null ? name : "keyboard " + descriptor);
            this.descriptor = descriptor;
        }

        @Override
        SourceStream connect() throws IOException {
            if (activity == null) {
                throw new IOException("the app gave the driver no activity to capture the keys in");
            }
            if (connected(descriptor) == null) {
                throw new IOException("it is not connected as a keyboard: switch the scanner on, or pair it in keyboard"
                        + " mode in the phone's Bluetooth settings");
            }
            if (activityGone()) {
                throw new IOException(ACTIVITY_GONE);
            }
            CaptureStream stream = new CaptureStream(descriptor, ScannerOptions.of(this).keyDecoder(true));
            stream.install();
            return stream;
        }
    }

    private static final String ACTIVITY_GONE = "the activity whose window captured the keys was closed or recreated"
            + " (declare android:configChanges=\"keyboard|keyboardHidden|navigation\" for it, so that a keyboard"
            + " connecting does not recreate it)";

    /**
     * The keys of one keyboard, captured in the activity's window. While no key comes it checks,
     * every CHECK_MILLIS, that the keyboard is still connected, the activity still there and its
     * capture still the window's callback; a callback set on top of it (the host replacing or
     * wrapping it) is wrapped again, so that the scanner's keys stay out of the host's views.
     */
    private final class CaptureStream extends KeyStream {
        private final String descriptor;
        private volatile KeyCapture capture; // set on the UI thread, read by the reader's
        private long nextCheck;

        CaptureStream(String descriptor, KeyDecoder decoder) {
            super(decoder);
            this.descriptor = descriptor;
        }

        void install() throws IOException {
            final Window window = activity.getWindow();
            if (window == null) {
                throw new IOException("the activity has no window to capture the keys in");
            }
            final CountDownLatch installed = new CountDownLatch(1);
            activity.runOnUiThread(new Runnable() {
                @Override
                public void run() {
                    try {
                        if (!stopped()) {
                            capture = KeyCapture.install(window, descriptor, CaptureStream.this);
                        }
                    } finally {
                        installed.countDown();
                    }
                }
            });
            boolean done;
            try {
                done = installed.await(INSTALL_SECONDS, TimeUnit.SECONDS);
            } catch (InterruptedException e) {
                Thread.currentThread().interrupt();
                done = false;
            }
            if (!done || capture == null) {
                stop(); // a capture installed later is taken off again at once
                close();
                throw new IOException("the app's user-interface thread did not let the keys be captured within "
                        + INSTALL_SECONDS + " s");
            }
        }

        @Override
        protected void idle() {
            long now = System.nanoTime();
            if (now - nextCheck < 0) {
                return;
            }
            nextCheck = now + CHECK_MILLIS * 1000000L;
            if (connected(descriptor) == null) {
                gone("the keyboard disconnected (switched off, out of range or unpaired)");
            } else if (activityGone()) {
                gone(ACTIVITY_GONE);
            } else {
                activity.runOnUiThread(new Runnable() {
                    @Override
                    public void run() {
                        takeUpAgain();
                    }
                });
            }
        }

        // On the UI thread.
        private void takeUpAgain() {
            KeyCapture current = capture;
            if (stopped() || current == null || current.onTop()) {
                return;
            }
            KeyCapture again = KeyCapture.install(activity.getWindow(), descriptor, this);
            capture = again;
            current.release();
            if (stopped()) {
                again.remove(); // closed meanwhile: its removal may have taken the one before
                return;
            }
            notice("the app set another window callback over the key capture; the capture was taken up again");
        }

        @Override
        protected void wakeRead() {
            KeyCapture current = capture;
            if (current != null) {
                current.release();
            }
        }

        // Not waited for: the reader that releases may be waited for by the user-interface
        // thread itself. Until the posted removal runs, the released capture passes every key;
        // the removal takes the capture that is current by then.
        @Override
        protected void release() {
            KeyCapture current = capture;
            if (current != null) {
                current.release();
            }
            activity.runOnUiThread(new Runnable() {
                @Override
                public void run() {
                    KeyCapture last = capture;
                    if (last != null) {
                        last.remove();
                    }
                }
            });
        }

        @Override
        String endReason() {
            return "the keyboard disconnected";
        }
    }
}
