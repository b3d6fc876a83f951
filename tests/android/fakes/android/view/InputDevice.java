package android.view;

import com.kestra.androidtest.FakeInput;

/** Fake input device for the desktop tests: the devices connected now are FakeInput's. */
public final class InputDevice {
    public static final int SOURCE_KEYBOARD = 0x00000101;
    public static final int KEYBOARD_TYPE_NON_ALPHABETIC = 1;
    public static final int KEYBOARD_TYPE_ALPHABETIC = 2;

    private final int id;
    private final String descriptor;
    private final String name;
    private final int sources;
    private final int keyboardType;
    private final boolean virtual;
    private final boolean external;

    public InputDevice(int id, String descriptor, String name, int sources, int keyboardType, boolean virtual,
            boolean external) {
        this.id = id;
        this.descriptor = descriptor;
        this.name = name;
        this.sources = sources;
        this.keyboardType = keyboardType;
        this.virtual = virtual;
        this.external = external;
    }

    public static int[] getDeviceIds() {
        return FakeInput.deviceIds();
    }

    public static InputDevice getDevice(int id) {
        return FakeInput.device(id);
    }

    public int getId() {
        return id;
    }

    public String getDescriptor() {
        return descriptor;
    }

    public String getName() {
        return name;
    }

    public int getSources() {
        return sources;
    }

    public int getKeyboardType() {
        return keyboardType;
    }

    public boolean isVirtual() {
        return virtual;
    }

    /** Since API 29: a phone below that level has no such method. */
    public boolean isExternal() {
        if (android.os.Build.VERSION.SDK_INT < 29) {
            throw new NoSuchMethodError("android.view.InputDevice.isExternal");
        }
        return external;
    }
}
