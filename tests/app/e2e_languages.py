#!/usr/bin/python3
"""The language each user reads: the window's title and reading direction under a table of
locales."""

import os
import sys

from e2e_harness import *  # noqa: F401,F403  the bench, the program, the window's places


class LanguageTest(WindowTest):
    """sensorctl started under one locale a row: the window title it loads (string 103) is the
    text the string generator reads from the language file that user must see, and the window
    is mirrored for Arabic and Hebrew alone, in every region. Some titles are shared (fr-FR and
    fr-CA, hr-HR and sr-Latn): a row tells its language from English and from other scripts.

    Wine takes the UI language from the locale's language and region (fr_BE gives 0x080C)."""

    # Where Wine reaches a table otherwise than Windows: the rows name their fact.
    NO_CS_LOCALE = ("Serbian users read the tables 2074 and 3098 (sr-Latn-CS, sr-Cyrl-CS)",
                    "Wine knows no sr-*-CS locale; those tables are reached through the carried "
                    "ids 0x241A and 0x281A")
    NO_SR_RS = ("the UI language is the display language installed",
                "Wine knows no locale \"sr-RS\" (glibc's Cyrillic sr_RS) and starts the program "
                "in en-US; no table can help there")
    CUSTOM_UI = ("the UI language is the display language installed, whatever the region",
                 "a region Windows has no id for gets the custom UI language 0x0C00, and the "
                 "loader then finds the carried neutral table of the locale's language")
    ROWS = (  # LC_ALL without ".UTF-8", the id of the language file shown[, the Wine fact]
        # The 37 languages.
        ("ar_SA", 1), ("zh_CN", 4), ("de_DE", 7), ("es_ES", 10), ("it_IT", 16), ("ja_JP", 17),
        ("nl_NL", 19), ("nb_NO", 20), ("sv_SE", 29), ("th_TH", 30), ("bg_BG", 1026),
        ("zh_TW", 1028), ("cs_CZ", 1029), ("da_DK", 1030), ("el_GR", 1032), ("en_US", 1033),
        ("fi_FI", 1035), ("fr_FR", 1036), ("he_IL", 1037), ("hu_HU", 1038), ("ko_KR", 1042),
        ("pl_PL", 1045), ("pt_BR", 1046), ("ro_RO", 1048), ("ru_RU", 1049), ("hr_HR", 1050),
        ("sk_SK", 1051), ("tr_TR", 1055), ("uk_UA", 1058), ("sl_SI", 1060), ("et_EE", 1061),
        ("lv_LV", 1062), ("lt_LT", 1063), ("pt_PT", 2070), ("fr_CA", 3084),
        ("sr_RS@latin", 2074, NO_CS_LOCALE), ("sr_RS@cyrillic", 3098, NO_CS_LOCALE),
        # The other carried ids a locale reaches: 0x2C1A, 0x301A, 0x0C04, 0x1404, neutral French
        # (0x080C, 0x100C), Russian (0x0819) and Romanian (0x0818).
        ("sr_ME@latin", 2074), ("sr_ME@cyrillic", 3098), ("zh_HK", 1028), ("zh_MO", 1028),
        ("fr_BE", 1036), ("fr_CH", 1036), ("ru_MD", 1049), ("ro_MD", 1048),
        # Regions that fall back as they did: English (no neutral English table), or the
        # neutral table the language always had.
        ("en_GB", 1033), ("de_AT", 7), ("es_MX", 10), ("zh_SG", 4), ("ar_MA", 1), ("nl_BE", 19),
        ("hr_BA", 1033),  # 0x101A: no table may stand at the neutral id Serbian shares
        ("sr_RS", 1033, NO_SR_RS),
        ("pt_AO", 1046, CUSTOM_UI), ("ru_UA", 1049, CUSTOM_UI), ("el_CY", 1032, CUSTOM_UI),
    )

    def test_each_locale_shows_the_language_its_user_reads(self):
        root = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
        sys.path.insert(0, os.path.join(root, "tools"))
        import gen_strings  # the generator's own reading of the language files
        folder = os.path.join(root, "sensorctl", "resources", "strings", "languages")
        titles = {language["id"]: language["strings"][103] for language in
                  gen_strings.load_all([os.path.join(folder, name) for name in os.listdir(folder)])}
        wine_fact("the UI language is the display language installed, whatever the regional "
                  "format; Serbian (sr-Latn-RS, sr-Cyrl-RS) and Hong Kong users get the "
                  "carried ids", "the UI language follows the locale's language and region")
        for locale, language, *fact in self.ROWS:
            with self.subTest(locale=locale):
                if fact:
                    wine_fact(*fact[0])
                name, at, modifier = locale.partition("@")
                program = self.start(random_block(self.rng), f"{name}.UTF-8{at}{modifier}")
                state = program.state
                program.kill()
                self.assertEqual(state["title"], titles[language])
                mirrored = state["children"]["210"]["rect"][0] == CHOICE_X_RTL
                self.assertEqual(mirrored, language & 0x3FF in (0x01, 0x0D), "mirrored")


if __name__ == "__main__":
    main()
