package android.content;

/** Declaration for compiling the peer only; see android.app.Activity. */
public interface SharedPreferences {
    String getString(String key, String defValue);

    SharedPreferences.Editor edit();

    interface Editor {
        SharedPreferences.Editor putString(String key, String value);

        /** Since API 9: writes in memory at once and to storage in the background. */
        void apply();
    }
}
