package android.os;

/** Declaration for compiling the peer only; see android.app.Activity. */
public class Build {
    public static class VERSION {
        // Not a constant: the value is the running system's, read when the class loads, so the
        // compiler must not fold it into the peer's code.
        public static final int SDK_INT = declaredOnly();
    }

    private static int declaredOnly() {
        throw new UnsupportedOperationException("declaration only");
    }
}
