package android.content;

/** Fake of the platform's context for the desktop tests of the Bluetooth peer. */
public abstract class Context {
    public abstract int checkSelfPermission(String permission);
}
