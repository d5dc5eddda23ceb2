"""The help file beside the programs holds every topic the programs open: the topic names are
collected from the sources (every "....html" a program passes to its help call or keeps as a help
topic) and each must be in KORVANE.CHM's /_RESOURCE/ folder, in Shift-JIS with its charset meta,
Japanese first and the English text below."""
import os
import re
import subprocess
import tempfile

import pytest

BIN = os.environ["TIDEWELL_BIN_DIR"]
ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
CHM = os.path.join(BIN, "KORVANE.CHM")
SOURCE_FOLDERS = ["korvane", "qs", "korvtask", "foundation"]
# A help topic in the code: "HLP000017.html", or one of the named pages ("ifa.html").
TOPIC = re.compile(r'"([A-Za-z0-9_]+\.html)"')
# Pages that the programs name for other reasons than help.
NOT_HELP = {"page.htm"}


def code_topics():
    topics = set()
    for folder in SOURCE_FOLDERS:
        for where, _, files in os.walk(os.path.join(ROOT, folder)):
            for name in files:
                if name.endswith((".cpp", ".h")):
                    with open(os.path.join(where, name), encoding="utf-8") as file:
                        topics.update(TOPIC.findall(file.read()))
    return sorted(topics - NOT_HELP)


def chm_files():
    listing = subprocess.run(["chmls", "list", CHM], capture_output=True, text=True, check=True).stdout
    return {line.split()[-1] for line in listing.splitlines() if line.strip().endswith(".html")}


def test_the_code_opens_the_known_topics():
    topics = code_topics()
    for expected in ("HLP000001.html", "HLP000017.html", "HLP000021.html", "HLP000113.html", "HLP000018.html"):
        assert expected in topics, f"{expected} was not found in the sources: the collection misses topics"


def test_every_topic_the_code_opens_is_in_the_help_file():
    assert os.path.exists(CHM), f"KORVANE.CHM was not built into {BIN}"
    missing = [topic for topic in code_topics() if "/_RESOURCE/" + topic not in chm_files()]
    assert not missing, f"topics missing from KORVANE.CHM: {missing}"


@pytest.mark.parametrize("topic", code_topics())
def test_each_topic_is_japanese_then_english(topic):
    with tempfile.TemporaryDirectory() as folder:
        page = os.path.join(folder, topic)
        subprocess.run(["chmls", "extract", CHM, "/_RESOURCE/" + topic, page], capture_output=True, check=True)
        with open(page, "rb") as file:
            data = file.read()
    assert b"charset=Shift_JIS" in data, f"{topic}: no Shift-JIS charset meta"
    text = data.decode("cp932")
    japanese = re.search(r"[\u3040-\u30ff\u4e00-\u9fff]", text)
    english = re.search(r"<h2>[A-Za-z]", text)
    assert japanese and english, f"{topic}: needs a Japanese text and an English one"
    assert japanese.start() < english.start(), f"{topic}: the English text belongs below the Japanese one"
