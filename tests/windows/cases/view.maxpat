{
    "patcher": {
        "boxes": [
            {"box": {"id": "obj-1", "maxclass": "newobj", "varname": "buf", "text": "buffer~ snd",
                     "patching_rect": [10.0, 10.0, 120.0, 22.0]}},
            {"box": {"id": "obj-2", "maxclass": "spectrogram~", "varname": "sg", "buffer_name": "snd",
                     "win_size": 512, "patching_rect": [10.0, 50.0, 240.0, 120.0]}},
            {"box": {"id": "obj-3", "maxclass": "gradix", "varname": "bar",
                     "patching_rect": [260.0, 50.0, 40.0, 120.0]}}
        ],
        "lines": [
            {"patchline": {"source": ["obj-3", 0], "destination": ["obj-2", 0]}}
        ]
    }
}
