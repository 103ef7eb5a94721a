"""The examples of the Python guide and the README run, in order, as one
program each (the README's beside copies of the sample pictures)."""

import re
import shutil

import pytest
from conftest import PICTURES, SOURCE


@pytest.mark.parametrize("document, least", [("docs/python-guide.md", 6), ("README.md", 1)])
def test_examples_run(document, least, tmp_path, monkeypatch):
    text = (SOURCE / document).read_text()
    blocks = re.findall(r"^```python\n(.*?)^```", text, flags=re.S | re.M)
    assert len(blocks) >= least
    for picture in PICTURES.iterdir():
        shutil.copy(picture, tmp_path)
    monkeypatch.chdir(tmp_path)
    namespace = {}
    for number, block in enumerate(blocks, 1):
        exec(compile(block, f"{document} example {number}", "exec"), namespace)
