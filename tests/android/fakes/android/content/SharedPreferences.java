package android.content;

/** Fake for the desktop tests. */
public interface SharedPreferences {
    String getString(String key, String defValue);

    SharedPreferences.Editor edit();

    interface Editor {
        SharedPreferences.Editor putString(String key, String value);

        void apply();
    }
}
