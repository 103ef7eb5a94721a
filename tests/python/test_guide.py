"""The Python guide's examples run, in order, as one program."""

import re

from conftest import SOURCE


def test_guide_examples_run(tmp_path, monkeypatch):
    guide = (SOURCE / "docs/python-guide.md").read_text()
    blocks = re.findall(r"^```python\n(.*?)^```", guide, flags=re.S | re.M)
    assert len(blocks) >= 6
    monkeypatch.chdir(tmp_path)
    namespace = {}
    for number, block in enumerate(blocks, 1):
        exec(compile(block, f"python-guide.md example {number}", "exec"), namespace)
