"""A REGA misuse shows a real warning box, in the process language: titled "Registory Class",
with a warning icon and the text naming the operation. The Japanese box, shown by an ANSI program
in code page 932, reads back as the expected Unicode text."""
import pytest

import harness

ENGLISH = "An error has occurred in REGA::CloseKey()."
JAPANESE = ("REGA::CloseKey でレジストリキーの二重クローズを防止しました。\n\n"
            "編集していたダイアログの名前を、このメッセージとともに作者までお知らせください。")


@pytest.mark.parametrize("env, text", [
    ({"RNSLANG": "EN"}, ENGLISH),
    (dict(harness.JAPANESE, RNSLANG="JA"), JAPANESE),
], ids=["english", "japanese"])
def test_misuse_shows_a_warning_box(prefix, env, text):
    prefix.install_test_program("regamisuse.exe")
    program = prefix.start("regamisuse.exe", env=env)
    box = 'wait --class "#32770" --title "Registory Class" --timeout 20'
    found = prefix.wauto(box, "list")
    statics = [t for _, _, cls, t, _, _ in found.controls if cls == "Static"]
    assert text in statics, f"warning text not found among {statics!r}"
    prefix.wauto(box, "click --text OK", "closed")
    assert program.wait(20) == 0, "the refused CloseKey reports failure to the caller, which exits with 0"
