package android.content;

/** Fake of the platform's context for the desktop tests of the Bluetooth peer. */
public abstract class Context {
    public static final int MODE_PRIVATE = 0;

    public abstract int checkSelfPermission(String permission);

    public abstract SharedPreferences getSharedPreferences(String name, int mode);
}
