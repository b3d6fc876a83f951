package android.view;

/** Fake key event for the desktop tests: FakeInput makes them as a phone's input system does. */
public class KeyEvent {
    public static final int ACTION_DOWN = 0;
    public static final int ACTION_UP = 1;

    private final int deviceId;
    private final int action;
    private final int keyCode;
    private final int scanCode;
    private final int metaState;
    private final int repeatCount;

    public KeyEvent(int deviceId, int action, int keyCode, int scanCode, int metaState, int repeatCount) {
        this.deviceId = deviceId;
        this.action = action;
        this.keyCode = keyCode;
        this.scanCode = scanCode;
        this.metaState = metaState;
        this.repeatCount = repeatCount;
    }

    public final int getAction() {
        return action;
    }

    public final int getKeyCode() {
        return keyCode;
    }

    public final int getScanCode() {
        return scanCode;
    }

    public final int getMetaState() {
        return metaState;
    }

    public final int getRepeatCount() {
        return repeatCount;
    }

    public final int getDeviceId() {
        return deviceId;
    }
}
