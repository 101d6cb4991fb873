#error "a headless source includes <GL/gl.h>: only render/, platform/ and app/gl/ may use GL"
