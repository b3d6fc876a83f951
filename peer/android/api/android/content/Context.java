package android.content;

/** Declaration for compiling the peer only; see android.app.Activity. */
public abstract class Context {
    /** Since API 23. */
    public abstract int checkSelfPermission(String permission);
}
