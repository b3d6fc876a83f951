package android.content;

/** Declaration for compiling the peer only; see android.app.Activity. */
public abstract class Context {
    public static final int MODE_PRIVATE = 0;

    /** Since API 23. */
    public abstract int checkSelfPermission(String permission);

    public abstract SharedPreferences getSharedPreferences(String name, int mode);
}
