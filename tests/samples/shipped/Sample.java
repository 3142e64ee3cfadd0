// tarvik: executable 13 comment 7 total 23
package sample;

import java.util.List;

/**
 * Demo class.
 * Note: writing /* inside a Javadoc line is legal Java.
 *
 * @author 山田
 */
public class Sample {
    private static final String SQL = "SELECT * FROM t /* hint */";

    public static void main(String[] args) {
        List<String> names = List.of("a//b", "c");
        for (String n : names) {   // loop
            System.out.println(n); /* print */
        }
        char c = '\''; // an escaped quote
        /* single-line */ int k = 0; /* another */
    }
}
