// The drawing: the cast's bodies from the page's glTF (posed by the library's matrices each
// frame, not by the file's animation), sticks as an alternative, the road and the cameras.
'use strict';
var ZelkarWorld = function (layout, glbBuffer, onReady, onError) {
  var view = document.getElementById('view');
  var renderer = new THREE.WebGLRenderer({ antialias: true, preserveDrawingBuffer: true });
  renderer.setPixelRatio(window.devicePixelRatio || 1);
  view.appendChild(renderer.domElement);
  var scene = new THREE.Scene();
  scene.background = new THREE.Color(0x8fa9c0);
  scene.fog = new THREE.Fog(0x8fa9c0, 60, 260);
  var camera = new THREE.PerspectiveCamera(50, 1, 0.05, 1000);
  scene.add(new THREE.HemisphereLight(0xe4ecf4, 0x4a4032, 0.8));
  var sun = new THREE.DirectionalLight(0xffffff, 0.8);
  sun.position.set(30, 60, 20);
  scene.add(sun);

  // The library's axes to three.js's: p = (x, z, -y), a quarter turn about x (as the .glb).
  var axes = new THREE.Matrix4().set(1, 0, 0, 0, 0, 0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1);
  var axesBack = new THREE.Matrix4().getInverse(axes);
  function toThree(x, y, z) { return new THREE.Vector3(x, z, -y); }

  var ground = new THREE.Mesh(new THREE.PlaneBufferGeometry(2000, 2000),
    new THREE.MeshLambertMaterial({ color: 0x5d6b4a }));
  ground.rotation.x = -Math.PI / 2;
  ground.position.y = -0.02;
  scene.add(ground);
  scene.add(road(layout.road));

  // The sample stage's path as a road 8 m wide: a strip with its edges either side of each point,
  // across the path's direction there.
  function road(points) {
    var positions = [], normals = [], indices = [], half = 4;
    points.forEach(function (p, i) {
      var before = points[Math.max(i - 1, 0)], after = points[Math.min(i + 1, points.length - 1)];
      var dx = after[0] - before[0], dy = after[1] - before[1];
      var length = Math.hypot(dx, dy) || 1;
      // Across the path, in the library's plane; then to three.js's axes.
      var ax = -dy / length * half, ay = dx / length * half;
      var left = toThree(p[0] + ax, p[1] + ay, 0), right = toThree(p[0] - ax, p[1] - ay, 0);
      positions.push(left.x, 0.01, left.z, right.x, 0.01, right.z);
      normals.push(0, 1, 0, 0, 1, 0);
      if (i > 0) indices.push(2 * i - 2, 2 * i - 1, 2 * i, 2 * i, 2 * i - 1, 2 * i + 1);
    });
    var geometry = new THREE.BufferGeometry();
    geometry.setAttribute('position', new THREE.Float32BufferAttribute(positions, 3));
    geometry.setAttribute('normal', new THREE.Float32BufferAttribute(normals, 3));
    geometry.setIndex(indices);
    return new THREE.Mesh(geometry, new THREE.MeshLambertMaterial({ color: 0x55585c,
      side: THREE.DoubleSide }));
  }

  var count = layout.names.length;
  var nodes = null, bodies = [], sticks = null, showSticks = false;
  var world = new THREE.Matrix4(), parentInverse = new THREE.Matrix4();
  var worlds = [];
  for (var n = 0; n < count; ++n) worlds.push(new THREE.Matrix4());
  var colours = [0xf2a33a, 0x5bc0eb, 0x9bc53d, 0xe55934, 0xc879ff, 0xfde74c];

  // Sticks: every node joined to its parent.
  function makeSticks() {
    var geometry = new THREE.BufferGeometry();
    geometry.setAttribute('position', new THREE.BufferAttribute(new Float32Array(count * 6), 3));
    var lines = new THREE.LineSegments(geometry, new THREE.LineBasicMaterial({ color: 0xffffff }));
    lines.frustumCulled = false;
    scene.add(lines);
    return lines;
  }

  function showMode() {
    var stickMode = showSticks || !bodies.length;
    bodies.forEach(function (b) { b.visible = !stickMode; });
    sticks.visible = stickMode;
    document.getElementById('status').dataset.mode = stickMode ? 'sticks' : 'bodies';
  }

  // Poses every node from the library's world matrices (16 floats each, in node order).
  function pose(matrices) {
    for (var n = 0; n < count; ++n) {
      world.fromArray(matrices, 16 * n);
      worlds[n].multiplyMatrices(axes, world).multiply(axesBack);
      var node = nodes[n], parent = layout.parents[n];
      if (parent < 0) {
        node.matrix.copy(worlds[n]);
      } else {
        parentInverse.getInverse(worlds[parent]);
        node.matrix.multiplyMatrices(parentInverse, worlds[n]);
      }
    }
    scene.updateMatrixWorld(true);
    if (sticks.visible) {
      var p = sticks.geometry.attributes.position;
      for (var k = 0; k < count; ++k) {
        var from = layout.parents[k] < 0 ? k : layout.parents[k];
        p.setXYZ(2 * k, worlds[from].elements[12], worlds[from].elements[13], worlds[from].elements[14]);
        p.setXYZ(2 * k + 1, worlds[k].elements[12], worlds[k].elements[13], worlds[k].elements[14]);
      }
      p.needsUpdate = true;
    }
  }

  // Cameras: behind the car, or beside the driver's hands.
  var cameraMode = 'chase';
  var carRoot = layout.names.indexOf('Car');
  var handNodes = ['Driver/B_hand L', 'Driver/B_hand R'].map(function (name) {
    return layout.names.indexOf(name);
  });
  var eye = null, look = new THREE.Vector3();
  function placeCamera(snap) {
    var car = worlds[carRoot < 0 ? 0 : carRoot];
    var at = new THREE.Vector3().setFromMatrixPosition(car);
    // The car faces -y in its own axes: +z in three.js's.
    var forward = new THREE.Vector3(0, 0, 1).transformDirection(car);
    forward.y = 0;
    forward.normalize();
    var target, wanted;
    if (cameraMode === 'hands' && handNodes[0] >= 0 && handNodes[1] >= 0) {
      target = new THREE.Vector3().setFromMatrixPosition(worlds[handNodes[0]])
        .add(new THREE.Vector3().setFromMatrixPosition(worlds[handNodes[1]])).multiplyScalar(0.5);
      var left = new THREE.Vector3(0, 1, 0).cross(forward).normalize();
      // From over the co-driver's shoulder, looking down at the wheel and the gear lever.
      wanted = target.clone().addScaledVector(forward, 0.15).addScaledVector(left, -1.0);
      wanted.y += 0.95;
      snap = true;
    } else {
      target = at.clone();
      target.y += 0.9;
      wanted = at.clone().addScaledVector(forward, -7.5);
      wanted.y += 3.0;
    }
    if (!eye || snap) eye = wanted.clone();
    else eye.lerp(wanted, 0.12);
    look.copy(target);
    camera.position.copy(eye);
    camera.lookAt(look);
  }

  function resize() {
    renderer.setSize(window.innerWidth, window.innerHeight);
    camera.aspect = window.innerWidth / Math.max(window.innerHeight, 1);
    camera.updateProjectionMatrix();
  }
  window.addEventListener('resize', resize);
  resize();

  new THREE.GLTFLoader().parse(glbBuffer, '', function (gltf) {
    gltf.parser.getDependencies('node').then(function (list) {
      nodes = list;
      if (nodes.length < count) throw new Error('the cast file has ' + nodes.length + ' nodes, not ' + count);
      for (var n = 0; n < count; ++n) nodes[n].matrixAutoUpdate = false;
      scene.add(gltf.scene);
      gltf.scene.traverse(function (object) {
        if (!object.isMesh) return;
        object.frustumCulled = false;
        bodies.push(object);
        layout.characters.forEach(function (c, i) {
          if (c.kind !== 'Car' && object.name === THREE.PropertyBinding.sanitizeNodeName(c.name + ' body'))
            object.material.color.setHex(colours[i % colours.length]);
        });
      });
      sticks = makeSticks();
      showMode();
      onReady();
    }).catch(function (e) { onError('glTF nodes: ' + e.message); });
  }, function (e) { onError('glTF: ' + (e && e.message ? e.message : e)); });

  return {
    // Draws the frame the library made.
    draw: function (matrices, snapCamera) {
      pose(matrices);
      placeCamera(snapCamera);
      renderer.render(scene, camera);
    },
    toggleSticks: function () { showSticks = !showSticks; showMode(); },
    cycleCamera: function () { cameraMode = cameraMode === 'chase' ? 'hands' : 'chase'; },
    setCamera: function (mode) { cameraMode = mode; }
  };
};
